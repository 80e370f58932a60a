#include "hypervhost/cim_xml.h"

namespace ombrevale::hypervhost {
namespace {

std::wstring Escaped(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        case L'"': out += L"&quot;"; break;
        case L'\'': out += L"&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace

std::wstring EmbeddedInstance(const std::wstring& className, const std::vector<CimProperty>& properties) {
    std::wstring xml = L"<INSTANCE CLASSNAME=\"" + Escaped(className) + L"\">";
    for (const CimProperty& p : properties) {
        const std::wstring head = L" NAME=\"" + Escaped(p.name) + L"\" TYPE=\"" + Escaped(p.type) + L"\">";
        if (p.array) {
            xml += L"<PROPERTY.ARRAY" + head;
            if (!p.values.empty()) {
                xml += L"<VALUE.ARRAY>";
                for (const std::wstring& v : p.values) xml += L"<VALUE>" + Escaped(v) + L"</VALUE>";
                xml += L"</VALUE.ARRAY>";
            }
            xml += L"</PROPERTY.ARRAY>";
        } else {
            xml += L"<PROPERTY" + head;
            if (!p.values.empty()) xml += L"<VALUE>" + Escaped(p.values.front()) + L"</VALUE>";
            xml += L"</PROPERTY>";
        }
    }
    return xml + L"</INSTANCE>";
}

}  // namespace ombrevale::hypervhost
