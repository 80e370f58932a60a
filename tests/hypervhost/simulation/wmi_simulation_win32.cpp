// A simulation of the part of Hyper-V's WMI interface (root\virtualization\v2) that the
// Hyper-V bridge uses, for tests only: a 32-bit in-process COM server that a test prefix
// registers in place of WMI's locator (CLSID_WbemLocator). It serves one or more named
// hosts from a scripted state file (OMBREVALE_WMI_SIMULATION names it), read afresh at
// every call and written back after every change, so that tests check what "Hyper-V" now
// holds in the file itself:
//
//   host <name> [namespace | access | down]   "." is this computer; a failure to inject
//   jobs <host> now | done | later | fails | stuck [<error text>]
//   machine <host> <GUID> <generation> <name>
//   disk <GUID> <image path>                  what that machine's diskette drive holds
//
// It answers what Microsoft's documentation of the Msvm_* classes describes, as far as the
// bridge asks: the WQL queries (SELECT with equality tests, ASSOCIATORS OF), object paths,
// GetObject, the three resource methods of Msvm_VirtualSystemManagementService with their
// embedded instances, and Msvm_ConcreteJob. Every place where the documentation leaves a
// behaviour open carries a comment that begins "Not settled by the documentation:" and
// says what was chosen.
#include <windows.h>
#include <objbase.h>
#include <wbemcli.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/com_object_win32.h"

namespace {

constexpr wchar_t kNamespace[] = L"root\\virtualization\\v2";
constexpr wchar_t kDisketteDrive[] = L"Microsoft:Hyper-V:Synthetic Diskette Drive";
constexpr wchar_t kFloppyDisk[] = L"Microsoft:Hyper-V:Virtual Floppy Disk";
constexpr HRESULT kServerUnavailable = static_cast<HRESULT>(0x800706BA);  // RPC_S_SERVER_UNAVAILABLE

// ---- Text -------------------------------------------------------------------------------

std::wstring Upper(std::wstring text) {
    CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}
bool Same(const std::wstring& a, const std::wstring& b) { return Upper(a) == Upper(b); }

std::wstring Widen(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                                    static_cast<int>(wide.size())));
    return wide;
}
std::string Narrow(const std::wstring& wide) {
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                                    static_cast<int>(utf8.size()), nullptr, nullptr));
    return utf8;
}

// Key values in object paths escape backslashes and quotes.
std::wstring PathValue(const std::wstring& value) {
    std::wstring out;
    for (wchar_t c : value) {
        if (c == L'\\' || c == L'"') out += L'\\';
        out += c;
    }
    return L"\"" + out + L"\"";
}

// The part of an object path after "\\server\namespace:".
std::wstring Relative(const std::wstring& path) {
    const auto colon = path.find(L':');
    if (path.rfind(L"\\\\", 0) != 0 || colon == std::wstring::npos) return path;
    return path.substr(colon + 1);
}

// ---- The scripted state ---------------------------------------------------------------------

struct Host {
    std::wstring name, failure, jobs = L"now", jobError;
};
struct Machine {
    std::wstring host, id, name, disk;
    int generation = 1;
};
struct State {
    std::vector<Host> hosts;
    std::vector<Machine> machines;

    Host* FindHost(const std::wstring& name) {
        for (Host& h : hosts)
            if (Same(h.name, name)) return &h;
        return nullptr;
    }
    Machine* FindMachine(const std::wstring& id) {
        for (Machine& m : machines)
            if (Same(m.id, id)) return &m;
        return nullptr;
    }
};

CRITICAL_SECTION g_lock;

std::wstring StateFile() {
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD length = GetEnvironmentVariableW(L"OMBREVALE_WMI_SIMULATION", path, MAX_PATH * 2);
    return length > 0 && length < MAX_PATH * 2 ? path : L"";
}

// Cuts the first blank-separated word off `rest`.
std::wstring Word(std::wstring& rest) {
    const auto start = rest.find_first_not_of(L' ');
    if (start == std::wstring::npos) return rest.clear(), L"";
    const auto end = rest.find(L' ', start);
    std::wstring word = rest.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    rest = end == std::wstring::npos ? L""
                                     : rest.substr(rest.find_first_not_of(L' ', end) == std::wstring::npos
                                                       ? rest.size()
                                                       : rest.find_first_not_of(L' ', end));
    return word;
}

State Load() {
    State state;
    std::ifstream in(StateFile().c_str(), std::ios::binary);
    std::string raw;
    while (std::getline(in, raw)) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::wstring rest = Widen(raw);
        const std::wstring kind = Word(rest);
        if (kind == L"host") {
            Host host;
            host.name = Word(rest);
            host.failure = Word(rest);
            state.hosts.push_back(host);
        } else if (kind == L"jobs") {
            if (Host* host = state.FindHost(Word(rest))) {
                host->jobs = Word(rest);
                host->jobError = rest;
            }
        } else if (kind == L"machine") {
            Machine machine;
            machine.host = Word(rest);
            machine.id = Word(rest);
            machine.generation = _wtoi(Word(rest).c_str());
            machine.name = rest;
            state.machines.push_back(machine);
        } else if (kind == L"disk") {
            const std::wstring id = Word(rest);
            if (Machine* machine = state.FindMachine(id)) machine->disk = rest;
        }
    }
    return state;
}

void Save(const State& state) {
    std::wostringstream text;
    for (const Host& h : state.hosts) {
        text << L"host " << h.name << (h.failure.empty() ? L"" : L" " + h.failure) << L"\n";
        text << L"jobs " << h.name << L" " << h.jobs << (h.jobError.empty() ? L"" : L" " + h.jobError) << L"\n";
    }
    for (const Machine& m : state.machines) {
        text << L"machine " << m.host << L" " << m.id << L" " << m.generation << L" " << m.name << L"\n";
        if (!m.disk.empty()) text << L"disk " << m.id << L" " << m.disk << L"\n";
    }
    const std::wstring file = StateFile(), temporary = file + L".new";
    {
        std::ofstream out(temporary.c_str(), std::ios::binary | std::ios::trunc);
        const std::string bytes = Narrow(text.str());
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// ---- Objects -----------------------------------------------------------------------------

struct Property {
    std::wstring name;
    CIMTYPE type = CIM_STRING;
    VARIANT value{};  // VT_NULL when it has none
};

class Object;
using ObjectPtr = std::shared_ptr<Object>;

// The DLL stays loaded (DllCanUnloadNow), so its objects need not be counted.
template <class Interface>
using Unknown = ombrevale::ComObject<ombrevale::Uncounted, Interface>;

// An instance, a class (with its methods' in-parameters) or a method's parameters.
class Object final : public Unknown<IWbemClassObject> {
public:
    Object(std::wstring className, std::wstring server) : class_(std::move(className)), server_(std::move(server)) {}
    ~Object() override {
        for (Property& p : properties_) VariantClear(&p.value);
    }

    void Set(const std::wstring& name, CIMTYPE type, const VARIANT& value) {
        Property* p = Find(name);
        if (!p) {
            properties_.push_back({name, type, {}});
            p = &properties_.back();
            VariantInit(&p->value);
        }
        VariantCopy(&p->value, const_cast<VARIANT*>(&value));
    }
    void SetText(const std::wstring& name, const std::wstring& text) {
        VARIANT v;
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(text.c_str());
        Set(name, CIM_STRING, v);
        VariantClear(&v);
    }
    void SetTexts(const std::wstring& name, const std::vector<std::wstring>& texts) {
        VARIANT v;
        v.vt = VT_ARRAY | VT_BSTR;
        v.parray = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
        for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
            BSTR text = SysAllocString(texts[i].c_str());
            SafeArrayPutElement(v.parray, &i, text);
            SysFreeString(text);
        }
        Set(name, CIM_STRING | CIM_FLAG_ARRAY, v);
        VariantClear(&v);
    }
    // WMI hands uint16 and uint32 to automation as VT_I4.
    void SetNumber(const std::wstring& name, CIMTYPE type, long number) {
        VARIANT v;
        v.vt = VT_I4;
        v.lVal = number;
        Set(name, type, v);
    }
    void SetNull(const std::wstring& name, CIMTYPE type) {
        VARIANT v;
        v.vt = VT_NULL;
        Set(name, type, v);
    }
    std::wstring Text(const std::wstring& name) {
        Property* p = Find(name);
        return p && p->value.vt == VT_BSTR && p->value.bstrVal ? p->value.bstrVal : L"";
    }
    std::vector<std::wstring> Texts(const std::wstring& name) {
        std::vector<std::wstring> texts;
        Property* p = Find(name);
        if (!p || p->value.vt != (VT_ARRAY | VT_BSTR) || !p->value.parray) return texts;
        LONG low = 0, high = -1;
        SafeArrayGetLBound(p->value.parray, 1, &low);
        SafeArrayGetUBound(p->value.parray, 1, &high);
        for (LONG i = low; i <= high; ++i) {
            BSTR text = nullptr;
            SafeArrayGetElement(p->value.parray, &i, &text);
            texts.push_back(text ? text : L"");
            SysFreeString(text);
        }
        return texts;
    }
    // The object path: `keys` as "Name=value" pairs, in the key order of the class.
    void SetKeys(const std::wstring& keys) { relpath_ = class_ + L"." + keys; }
    std::wstring Path() const { return L"\\\\" + server_ + L"\\" + kNamespace + L":" + relpath_; }
    const std::wstring& ClassName() const { return class_; }
    void AddMethod(const std::wstring& name, std::vector<std::wstring> parameters) {
        methods_[Upper(name)] = std::move(parameters);
    }

    STDMETHODIMP Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type, LONG* flavor) override {
        if (!name) return WBEM_E_INVALID_PARAMETER;
        VARIANT found;
        VariantInit(&found);
        CIMTYPE foundType = CIM_STRING;
        const std::wstring wanted = name;
        if (Same(wanted, L"__PATH") || Same(wanted, L"__RELPATH")) {
            if (relpath_.empty()) {
                found.vt = VT_NULL;
            } else {
                found.vt = VT_BSTR;
                found.bstrVal = SysAllocString((Same(wanted, L"__PATH") ? Path() : relpath_).c_str());
            }
        } else if (Same(wanted, L"__CLASS")) {
            found.vt = VT_BSTR;
            found.bstrVal = SysAllocString(class_.c_str());
        } else if (Property* p = Find(wanted)) {
            VariantCopy(&found, &p->value);
            foundType = p->type;
        } else {
            return WBEM_E_NOT_FOUND;
        }
        if (value) {
            VariantInit(value);
            *value = found;
        } else {
            VariantClear(&found);
        }
        if (type) *type = foundType;
        if (flavor) *flavor = 0;
        return WBEM_S_NO_ERROR;
    }
    STDMETHODIMP Put(LPCWSTR name, LONG, VARIANT* value, CIMTYPE type) override {
        if (!name || !value) return WBEM_E_INVALID_PARAMETER;
        Property* p = Find(name);
        // Only the parameters a method declares can be given.
        if (!p) return WBEM_E_NOT_FOUND;
        VariantCopy(&p->value, value);
        if (type) p->type = type;
        return WBEM_S_NO_ERROR;
    }
    STDMETHODIMP BeginEnumeration(LONG) override {
        next_ = 0;
        return WBEM_S_NO_ERROR;
    }
    STDMETHODIMP Next(LONG, BSTR* name, VARIANT* value, CIMTYPE* type, LONG* flavor) override {
        if (next_ >= properties_.size()) return WBEM_S_NO_MORE_DATA;
        const Property& p = properties_[next_++];
        if (name) *name = SysAllocString(p.name.c_str());
        if (value) {
            VariantInit(value);
            VariantCopy(value, const_cast<VARIANT*>(&p.value));
        }
        if (type) *type = p.type;
        if (flavor) *flavor = 0;
        return WBEM_S_NO_ERROR;
    }
    STDMETHODIMP EndEnumeration() override { return WBEM_S_NO_ERROR; }
    STDMETHODIMP GetMethod(LPCWSTR name, LONG, IWbemClassObject** in, IWbemClassObject** out) override {
        if (out) *out = nullptr;
        auto method = methods_.find(Upper(name ? name : L""));
        if (method == methods_.end()) return WBEM_E_NOT_FOUND;
        if (in) {
            auto* parameters = new Object(L"__PARAMETERS", server_);
            for (const std::wstring& parameter : method->second) parameters->SetNull(parameter, CIM_STRING);
            *in = parameters;
        }
        return WBEM_S_NO_ERROR;
    }
    STDMETHODIMP SpawnInstance(LONG, IWbemClassObject** instance) override {
        if (!instance) return WBEM_E_INVALID_PARAMETER;
        auto* copy = new Object(class_, server_);
        for (const Property& p : properties_) copy->Set(p.name, p.type, p.value);
        *instance = copy;
        return WBEM_S_NO_ERROR;
    }
    STDMETHODIMP Clone(IWbemClassObject** copy) override {
        HRESULT hr = SpawnInstance(0, copy);
        if (SUCCEEDED(hr)) static_cast<Object*>(*copy)->relpath_ = relpath_;
        return hr;
    }

    // The bridge needs none of these.
    STDMETHODIMP GetQualifierSet(IWbemQualifierSet**) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP Delete(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP GetObjectText(LONG, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP SpawnDerivedClass(LONG, IWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP CompareTo(LONG, IWbemClassObject*) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP GetPropertyOrigin(LPCWSTR, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP InheritsFrom(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP DeleteMethod(LPCWSTR) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP BeginMethodEnumeration(LONG) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP NextMethod(LONG, BSTR*, IWbemClassObject**, IWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP EndMethodEnumeration() override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP GetMethodOrigin(LPCWSTR, BSTR*) override { return WBEM_E_NOT_SUPPORTED; }

private:
    Property* Find(const std::wstring& name) {
        for (Property& p : properties_)
            if (Same(p.name, name)) return &p;
        return nullptr;
    }

    std::wstring class_, server_, relpath_;
    std::vector<Property> properties_;
    std::map<std::wstring, std::vector<std::wstring>> methods_;
    std::size_t next_ = 0;
};

// COM objects are handed out with one reference; Hold keeps them while they are built.
struct Held {
    Object* object;
    explicit Held(Object* o) : object(o) {}
    ~Held() {
        if (object) object->Release();
    }
    Held(Held&& other) noexcept : object(other.object) { other.object = nullptr; }
    Held(const Held&) = delete;
    Object* operator->() const { return object; }
    Object* Give() {
        Object* o = object;
        object = nullptr;
        return o;
    }
};

class Enumerator final : public Unknown<IEnumWbemClassObject> {
public:
    explicit Enumerator(std::vector<Held> objects) : objects_(std::move(objects)) {}

    STDMETHODIMP Reset() override {
        next_ = 0;
        return WBEM_S_NO_ERROR;
    }
    STDMETHODIMP Next(LONG, ULONG count, IWbemClassObject** objects, ULONG* returned) override {
        if (!objects || !returned) return WBEM_E_INVALID_PARAMETER;
        ULONG done = 0;
        for (; done < count && next_ < objects_.size(); ++done, ++next_) {
            objects_[next_]->AddRef();
            objects[done] = objects_[next_].object;
        }
        *returned = done;
        return done == count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }
    STDMETHODIMP NextAsync(ULONG, IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP Clone(IEnumWbemClassObject**) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP Skip(LONG, ULONG count) override {
        next_ = std::min<std::size_t>(objects_.size(), next_ + count);
        return WBEM_S_NO_ERROR;
    }

private:
    std::vector<Held> objects_;
    std::size_t next_ = 0;
};

// ---- What one host's namespace holds, built from the state ---------------------------------

// Not settled by the documentation: the server name in the object paths of this computer's
// objects. "THIS-COMPUTER" is chosen; another host's objects bear its name in capitals.
std::wstring ServerName(const Host& host) { return host.name == L"." ? L"THIS-COMPUTER" : Upper(host.name); }

// Not settled by the documentation: the exact InstanceID of a machine's diskette drive and
// of the disk in it beyond "Microsoft:<machine GUID>\<device-specific data>"; these are
// made up in that form.
std::wstring DriveId(const Machine& m) {
    return L"Microsoft:" + m.id + L"\\83F8638B-8DCA-4152-9EDA-2CA8B33039B4\\0\\0\\D";
}
std::wstring DiskId(const Machine& m) {
    return L"Microsoft:" + m.id + L"\\83F8638B-8DCA-4152-9EDA-2CA8B33039B4\\0\\0\\L";
}

struct Namespace {
    const Host& host;
    State& state;

    Held New(const wchar_t* className) const { return Held(new Object(className, ServerName(host))); }

    Held ComputerSystem(const Machine* m) const {
        Held o = New(L"Msvm_ComputerSystem");
        const std::wstring name = m ? m->id : ServerName(host);
        o->SetText(L"CreationClassName", L"Msvm_ComputerSystem");
        o->SetText(L"Name", name);
        o->SetText(L"ElementName", m ? m->name : ServerName(host));
        o->SetText(L"Caption", m ? L"Virtual Machine" : L"Hosting Computer System");
        o->SetNumber(L"EnabledState", CIM_UINT16, m ? 3 : 2);
        o->SetKeys(L"CreationClassName=\"Msvm_ComputerSystem\",Name=" + PathValue(name));
        return o;
    }
    Held Settings(const Machine& m) const {
        Held o = New(L"Msvm_VirtualSystemSettingData");
        o->SetText(L"InstanceID", L"Microsoft:" + m.id);
        o->SetText(L"ElementName", m.name);
        o->SetText(L"VirtualSystemIdentifier", m.id);
        o->SetText(L"VirtualSystemType", L"Microsoft:Hyper-V:System:Realized");
        o->SetText(L"VirtualSystemSubType", L"Microsoft:Hyper-V:SubType:" + std::to_wstring(m.generation));
        o->SetKeys(L"InstanceID=" + PathValue(L"Microsoft:" + m.id));
        return o;
    }
    // Not settled by the documentation: which devices a machine of each generation lists.
    // Here generation 1 has an IDE controller and the diskette drive, generation 2 a SCSI
    // controller and no diskette drive at all.
    std::vector<Held> Devices(const Machine& m) const {
        std::vector<Held> devices;
        Held controller = New(L"Msvm_ResourceAllocationSettingData");
        const std::wstring controllerId = L"Microsoft:" + m.id + L"\\Controller 0";
        controller->SetText(L"InstanceID", controllerId);
        controller->SetNumber(L"ResourceType", CIM_UINT16, m.generation == 1 ? 5 : 6);
        controller->SetText(L"ResourceSubType", m.generation == 1 ? L"Microsoft:Hyper-V:Emulated IDE Controller"
                                                                  : L"Microsoft:Hyper-V:Synthetic SCSI Controller");
        controller->SetKeys(L"InstanceID=" + PathValue(controllerId));
        devices.push_back(std::move(controller));
        if (m.generation == 1) {
            Held drive = New(L"Msvm_ResourceAllocationSettingData");
            drive->SetText(L"InstanceID", DriveId(m));
            drive->SetNumber(L"ResourceType", CIM_UINT16, 14);  // Floppy Drive
            drive->SetText(L"ResourceSubType", kDisketteDrive);
            drive->SetText(L"ElementName", L"Diskette Drive");
            drive->SetKeys(L"InstanceID=" + PathValue(DriveId(m)));
            devices.push_back(std::move(drive));
        }
        return devices;
    }
    std::wstring DrivePath(const Machine& m) const {
        return L"\\\\" + ServerName(host) + L"\\" + kNamespace + L":Msvm_ResourceAllocationSettingData.InstanceID=" +
               PathValue(DriveId(m));
    }
    std::vector<Held> Disks(const Machine& m) const {
        std::vector<Held> disks;
        Held hard = New(L"Msvm_StorageAllocationSettingData");
        const std::wstring hardId = L"Microsoft:" + m.id + L"\\Hard Disk 0\\L";
        hard->SetText(L"InstanceID", hardId);
        hard->SetNumber(L"ResourceType", CIM_UINT16, 31);
        hard->SetText(L"ResourceSubType", L"Microsoft:Hyper-V:Virtual Hard Disk");
        hard->SetTexts(L"HostResource", {L"C:\\Hyper-V\\" + m.id + L".vhdx"});
        hard->SetKeys(L"InstanceID=" + PathValue(hardId));
        disks.push_back(std::move(hard));
        if (m.generation == 1 && !m.disk.empty()) {
            Held disk = New(L"Msvm_StorageAllocationSettingData");
            disk->SetText(L"InstanceID", DiskId(m));
            disk->SetNumber(L"ResourceType", CIM_UINT16, 31);  // Logical Disk
            disk->SetText(L"ResourceSubType", kFloppyDisk);
            disk->SetText(L"Parent", DrivePath(m));
            disk->SetTexts(L"HostResource", {m.disk});
            disk->SetText(L"Address", L"0");
            disk->SetNumber(L"Access", CIM_UINT16, 3);
            disk->SetKeys(L"InstanceID=" + PathValue(DiskId(m)));
            disks.push_back(std::move(disk));
        }
        return disks;
    }
    Held Service() const {
        Held o = New(L"Msvm_VirtualSystemManagementService");
        o->SetText(L"Name", L"vmms");
        o->SetText(L"ElementName", L"Hyper-V Virtual System Management Service");
        o->SetKeys(
            L"CreationClassName=\"Msvm_VirtualSystemManagementService\",Name=\"vmms\","
            L"SystemCreationClassName=\"Msvm_ComputerSystem\",SystemName=" +
            PathValue(ServerName(host)));
        return o;
    }

    // The primordial pools of floppy disks and of hard disks, each with its allocation
    // capabilities and the four settings those define (minimum, maximum, increment,
    // default). Not settled by the documentation: the InstanceIDs of pools, capabilities
    // and their settings, and which properties the default floppy disk settings carry;
    // these are made up.
    Held Pool(const std::wstring& subType) const {
        Held o = New(L"Msvm_ResourcePool");
        o->SetText(L"InstanceID", L"Microsoft:" + subType);
        o->SetText(L"PoolID", L"");
        o->SetText(L"ResourceSubType", subType);
        o->SetNumber(L"ResourceType", CIM_UINT16, 31);
        VARIANT primordial;
        primordial.vt = VT_BOOL;
        primordial.boolVal = VARIANT_TRUE;
        o->Set(L"Primordial", CIM_BOOLEAN, primordial);
        o->SetKeys(L"InstanceID=" + PathValue(L"Microsoft:" + subType));
        return o;
    }
    Held Capabilities(const std::wstring& subType) const {
        Held o = New(L"Msvm_AllocationCapabilities");
        o->SetText(L"InstanceID", L"Microsoft:" + subType + L"\\Capabilities");
        o->SetText(L"ResourceSubType", subType);
        o->SetKeys(L"InstanceID=" + PathValue(L"Microsoft:" + subType + L"\\Capabilities"));
        return o;
    }
    static std::wstring DefinitionId(const std::wstring& subType, const wchar_t* role) {
        return L"Microsoft:Definition\\" + subType + L"\\" + role;
    }
    Held Definition(const std::wstring& subType, const wchar_t* role) const {
        Held o = New(L"Msvm_StorageAllocationSettingData");
        o->SetText(L"InstanceID", DefinitionId(subType, role));
        o->SetText(L"ElementName", subType);
        o->SetNumber(L"ResourceType", CIM_UINT16, 31);
        o->SetText(L"ResourceSubType", subType);
        o->SetNull(L"Parent", CIM_STRING);
        o->SetNull(L"HostResource", CIM_STRING | CIM_FLAG_ARRAY);
        o->SetNumber(L"Access", CIM_UINT16, 3);
        o->SetText(L"PoolID", L"");
        o->SetKeys(L"InstanceID=" + PathValue(DefinitionId(subType, role)));
        return o;
    }
    // Msvm_SettingsDefineCapabilities: ValueRole 0 is Default and 3 Supported; ValueRange
    // 0 is Point, 1 Minimums, 2 Maximums, 3 Increments.
    std::vector<Held> Links(const std::wstring& subType) const {
        struct Role {
            const wchar_t* name;
            long role, range;
        };
        const Role roles[] = {{L"Minimum", 3, 1}, {L"Maximum", 3, 2}, {L"Increment", 3, 3}, {L"Default", 0, 0}};
        std::vector<Held> links;
        for (const Role& r : roles) {
            Held link = New(L"Msvm_SettingsDefineCapabilities");
            link->SetText(L"GroupComponent", Capabilities(subType)->Path());
            link->SetText(L"PartComponent", Definition(subType, r.name)->Path());
            link->SetNumber(L"ValueRole", CIM_UINT16, r.role);
            link->SetNumber(L"ValueRange", CIM_UINT16, r.range);
            links.push_back(std::move(link));
        }
        return links;
    }
    static std::vector<std::wstring> PoolTypes() { return {L"Microsoft:Hyper-V:Virtual Hard Disk", kFloppyDisk}; }

    // Every instance of the classes served, each with what it is associated with.
    std::vector<Held> All(const std::wstring& className) const {
        std::vector<Held> all;
        if (Same(className, L"Msvm_ComputerSystem")) all.push_back(ComputerSystem(nullptr));
        if (Same(className, L"Msvm_VirtualSystemManagementService")) all.push_back(Service());
        for (const std::wstring& type : PoolTypes()) {
            if (Same(className, L"Msvm_ResourcePool")) all.push_back(Pool(type));
            if (Same(className, L"Msvm_AllocationCapabilities")) all.push_back(Capabilities(type));
            if (Same(className, L"Msvm_StorageAllocationSettingData"))
                for (const wchar_t* role : {L"Minimum", L"Maximum", L"Increment", L"Default"})
                    all.push_back(Definition(type, role));
        }
        for (const Machine& m : state.machines) {
            if (!Same(m.host, host.name)) continue;
            if (Same(className, L"Msvm_ComputerSystem")) all.push_back(ComputerSystem(&m));
            if (Same(className, L"Msvm_VirtualSystemSettingData")) all.push_back(Settings(m));
            if (Same(className, L"Msvm_ResourceAllocationSettingData"))
                for (Held& d : Devices(m)) all.push_back(std::move(d));
            if (Same(className, L"Msvm_StorageAllocationSettingData"))
                for (Held& d : Disks(m)) all.push_back(std::move(d));
        }
        return all;
    }

    Machine* MachineOf(const std::wstring& path, const wchar_t* className) const {
        for (Machine& m : state.machines) {
            if (!Same(m.host, host.name)) continue;
            Held candidate = Same(className, L"Msvm_ComputerSystem") ? ComputerSystem(&m) : Settings(m);
            if (Same(Relative(candidate->Path()), Relative(path))) return &m;
        }
        return nullptr;
    }
};

// ---- WQL ----------------------------------------------------------------------------------

// Cuts a token off `rest`: a word, "=", a quoted string (quotes dropped) or {path}.
std::wstring Token(std::wstring& rest, bool* quoted = nullptr) {
    std::size_t at = rest.find_first_not_of(L" \t");
    if (quoted) *quoted = false;
    if (at == std::wstring::npos) return rest.clear(), L"";
    rest.erase(0, at);
    std::wstring token;
    if (rest[0] == L'\'' || rest[0] == L'"' || rest[0] == L'{') {
        const wchar_t close = rest[0] == L'{' ? L'}' : rest[0];
        const auto end = rest.find(close, 1);
        token = rest.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
        rest.erase(0, end == std::wstring::npos ? rest.size() : end + 1);
        if (quoted) *quoted = true;
        return token;
    }
    if (rest[0] == L'=') return rest.erase(0, 1), L"=";
    const auto end = rest.find_first_of(L" \t=");
    token = rest.substr(0, end);
    rest.erase(0, end == std::wstring::npos ? rest.size() : end);
    return token;
}

bool Matches(Object* object, const std::vector<std::pair<std::wstring, std::wstring>>& tests) {
    for (const auto& [name, value] : tests) {
        VARIANT v;
        VariantInit(&v);
        // Not settled by the documentation for these classes: how a number compares with a
        // quoted value. Every value is compared as text, and strings without regard to case.
        if (FAILED(object->Get(name.c_str(), 0, &v, nullptr, nullptr))) return false;
        VARIANT text;
        VariantInit(&text);
        bool same = false;
        if (v.vt == VT_BOOL)
            same = Same(v.boolVal ? L"TRUE" : L"FALSE", value);
        else if (SUCCEEDED(VariantChangeType(&text, &v, 0, VT_BSTR)))
            same = text.bstrVal && Same(text.bstrVal, value);
        VariantClear(&text);
        VariantClear(&v);
        if (!same) return false;
    }
    return true;
}

HRESULT Query(const Namespace& ns, std::wstring wql, std::vector<Held>& found) {
    const std::wstring first = Upper(Token(wql));
    if (first == L"SELECT") {
        if (Token(wql) != L"*" || Upper(Token(wql)) != L"FROM") return WBEM_E_INVALID_QUERY;
        const std::wstring className = Token(wql);
        std::vector<std::pair<std::wstring, std::wstring>> tests;
        std::wstring word = Upper(Token(wql));
        if (word == L"WHERE") {
            do {
                const std::wstring name = Token(wql);
                if (Token(wql) != L"=") return WBEM_E_INVALID_QUERY;
                tests.push_back({name, Token(wql)});
                word = Upper(Token(wql));
            } while (word == L"AND");
        }
        if (!word.empty()) return WBEM_E_INVALID_QUERY;
        for (Held& o : ns.All(className))
            if (Matches(o.object, tests)) found.push_back(std::move(o));
        return WBEM_S_NO_ERROR;
    }
    const bool references = first == L"REFERENCES";
    if ((first != L"ASSOCIATORS" && !references) || Upper(Token(wql)) != L"OF") return WBEM_E_INVALID_QUERY;
    const std::wstring source = Token(wql);
    std::wstring resultClass, assocClass;
    if (Upper(Token(wql)) == L"WHERE") {
        for (std::wstring word = Token(wql); !word.empty(); word = Token(wql)) {
            if (Token(wql) != L"=") return WBEM_E_INVALID_QUERY;
            const std::wstring value = Token(wql);
            if (Same(word, L"ResultClass"))
                resultClass = value;
            else if (Same(word, L"AssocClass"))
                assocClass = value;
            else
                return WBEM_E_INVALID_QUERY;
        }
    }
    // A pool's capabilities through Msvm_ElementCapabilities; the capabilities' settings
    // through Msvm_SettingsDefineCapabilities, whose instances REFERENCES OF gives.
    for (const std::wstring& type : Namespace::PoolTypes()) {
        if (!references && Same(Relative(ns.Pool(type)->Path()), Relative(source))) {
            if (Same(resultClass, L"Msvm_AllocationCapabilities") &&
                (assocClass.empty() || Same(assocClass, L"Msvm_ElementCapabilities")))
                found.push_back(ns.Capabilities(type));
            return WBEM_S_NO_ERROR;
        }
        if (references && Same(Relative(ns.Capabilities(type)->Path()), Relative(source))) {
            if (Same(resultClass, L"Msvm_SettingsDefineCapabilities"))
                for (Held& link : ns.Links(type)) found.push_back(std::move(link));
            return WBEM_S_NO_ERROR;
        }
    }
    if (references) return WBEM_E_NOT_FOUND;
    // The machine's current settings through Msvm_SettingsDefineState; a configuration's
    // devices and disks through Msvm_VirtualSystemSettingDataComponent.
    if (Machine* m = ns.MachineOf(source, L"Msvm_ComputerSystem")) {
        if (Same(resultClass, L"Msvm_VirtualSystemSettingData") &&
            (assocClass.empty() || Same(assocClass, L"Msvm_SettingsDefineState")))
            found.push_back(ns.Settings(*m));
        return WBEM_S_NO_ERROR;
    }
    if (Machine* m = ns.MachineOf(source, L"Msvm_VirtualSystemSettingData")) {
        if (!assocClass.empty() && !Same(assocClass, L"Msvm_VirtualSystemSettingDataComponent")) return WBEM_S_NO_ERROR;
        if (Same(resultClass, L"Msvm_ResourceAllocationSettingData"))
            for (Held& d : ns.Devices(*m)) found.push_back(std::move(d));
        if (Same(resultClass, L"Msvm_StorageAllocationSettingData"))
            for (Held& d : ns.Disks(*m)) found.push_back(std::move(d));
        return WBEM_S_NO_ERROR;
    }
    // Not settled by the documentation: what ASSOCIATORS OF answers for a path that names
    // no object (a machine deleted meanwhile). The query fails with WBEM_E_NOT_FOUND.
    return WBEM_E_NOT_FOUND;
}

// ---- Embedded instances (CIM-XML) -------------------------------------------------------------

std::wstring Unescaped(std::wstring text) {
    const std::pair<const wchar_t*, wchar_t> entities[] = {
        {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&apos;", L'\''}, {L"&amp;", L'&'}};
    for (const auto& [entity, c] : entities) {
        for (auto at = text.find(entity); at != std::wstring::npos; at = text.find(entity, at + 1))
            text.replace(at, wcslen(entity), 1, c);
    }
    return text;
}

// Not settled by the documentation: which text forms of an embedded instance Hyper-V
// takes. The simulation takes CIM-XML's INSTANCE element (DSP0201) only, and reads the
// PROPERTY and PROPERTY.ARRAY elements by NAME with their VALUE elements.
struct Embedded {
    std::wstring className;
    std::map<std::wstring, std::vector<std::wstring>> properties;  // by upper-case name
};

bool ParseEmbedded(const std::wstring& xml, Embedded& out) {
    auto attribute = [&](std::size_t from, const wchar_t* name) {
        const std::wstring key = std::wstring(name) + L"=\"";
        const auto at = xml.find(key, from);
        const auto end = at == std::wstring::npos ? at : xml.find(L'"', at + key.size());
        return end == std::wstring::npos ? std::wstring()
                                         : Unescaped(xml.substr(at + key.size(), end - at - key.size()));
    };
    if (xml.rfind(L"<INSTANCE ", 0) != 0) return false;
    out.className = attribute(0, L"CLASSNAME");
    for (auto at = xml.find(L"<PROPERTY"); at != std::wstring::npos; at = xml.find(L"<PROPERTY", at + 1)) {
        const std::wstring name = attribute(at, L"NAME");
        const bool array = xml.compare(at, 15, L"<PROPERTY.ARRAY") == 0;
        const auto end = xml.find(array ? L"</PROPERTY.ARRAY>" : L"</PROPERTY>", at);
        if (end == std::wstring::npos) return false;
        std::vector<std::wstring>& values = out.properties[Upper(name)];
        for (auto v = xml.find(L"<VALUE>", at); v != std::wstring::npos && v < end; v = xml.find(L"<VALUE>", v + 1)) {
            const auto close = xml.find(L"</VALUE>", v);
            values.push_back(Unescaped(xml.substr(v + 7, close - v - 7)));
        }
        at = end;
    }
    return true;
}

// ---- Jobs -------------------------------------------------------------------------------------

struct Job {
    std::wstring host, machine, disk;  // the change it makes: the machine's disk becomes `disk`
    std::wstring mode, error;
    DWORD due = 0;
    bool applied = false;
};
std::map<std::wstring, Job> g_jobs;
long g_nextJob = 0;

// ---- The namespace of one host ------------------------------------------------------------------

class Services final : public Unknown<IWbemServices> {
public:
    explicit Services(std::wstring host) : host_(std::move(host)) {}

    STDMETHODIMP ExecQuery(const BSTR language, const BSTR query, LONG, IWbemContext*,
                           IEnumWbemClassObject** found) override {
        if (!found || !query) return WBEM_E_INVALID_PARAMETER;
        *found = nullptr;
        if (!language || !Same(language, L"WQL")) return WBEM_E_INVALID_QUERY_TYPE;
        return Serve([&](Namespace& ns) {
            std::vector<Held> objects;
            const HRESULT hr = Query(ns, query, objects);
            if (SUCCEEDED(hr)) *found = new Enumerator(std::move(objects));
            return hr;
        });
    }

    STDMETHODIMP GetObject(const BSTR path, LONG, IWbemContext*, IWbemClassObject** object,
                           IWbemCallResult** result) override {
        if (result) *result = nullptr;
        if (!object || !path) return WBEM_E_INVALID_PARAMETER;
        *object = nullptr;
        const std::wstring wanted = Relative(path);
        return Serve([&](Namespace& ns) -> HRESULT {
            if (Same(wanted, L"Msvm_VirtualSystemManagementService")) {
                Held definition = ns.New(L"Msvm_VirtualSystemManagementService");
                definition->AddMethod(L"AddResourceSettings", {L"AffectedConfiguration", L"ResourceSettings"});
                definition->AddMethod(L"ModifyResourceSettings", {L"ResourceSettings"});
                definition->AddMethod(L"RemoveResourceSettings", {L"ResourceSettings"});
                *object = definition.Give();
                return WBEM_S_NO_ERROR;
            }
            if (Upper(wanted).rfind(L"MSVM_CONCRETEJOB.", 0) == 0) return JobObject(ns, wanted, object);
            for (const wchar_t* className :
                 {L"Msvm_ComputerSystem", L"Msvm_VirtualSystemSettingData", L"Msvm_ResourceAllocationSettingData",
                  L"Msvm_StorageAllocationSettingData"}) {
                for (Held& o : ns.All(className)) {
                    if (Same(Relative(o->Path()), wanted)) {
                        *object = o.Give();
                        return WBEM_S_NO_ERROR;
                    }
                }
            }
            return WBEM_E_NOT_FOUND;
        });
    }

    STDMETHODIMP ExecMethod(const BSTR path, const BSTR method, LONG, IWbemContext*, IWbemClassObject* in,
                            IWbemClassObject** out, IWbemCallResult** result) override {
        if (result) *result = nullptr;
        if (!out || !path || !method || !in) return WBEM_E_INVALID_PARAMETER;
        *out = nullptr;
        return Serve([&](Namespace& ns) -> HRESULT {
            if (!Same(Relative(path), Relative(ns.Service()->Path()))) return WBEM_E_INVALID_METHOD;
            Object* parameters = static_cast<Object*>(in);
            std::wstring machine, disk;
            const long code = Change(ns, method, parameters, machine, disk);
            Held answer = ns.New(L"__PARAMETERS");
            answer->SetNull(L"Job", CIM_REFERENCE);
            if (code == 0) Start(ns, machine, disk, answer);
            answer->SetNumber(L"ReturnValue", CIM_UINT32, code == 0 ? ReturnValue(ns.host) : code);
            *out = answer.Give();
            return WBEM_S_NO_ERROR;
        });
    }

    // The bridge needs none of these.
    STDMETHODIMP OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP CancelAsyncCall(IWbemObjectSink*) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP QueryObjectSink(LONG, IWbemObjectSink**) override { return WBEM_E_NOT_SUPPORTED; }
    STDMETHODIMP GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP PutClass(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP PutClassAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP DeleteClass(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP CreateClassEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP CreateClassEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP PutInstance(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP DeleteInstance(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP DeleteInstanceAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP CreateInstanceEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP ExecNotificationQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*,
                                 IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }

    // The failure injected for a host, as a call sees it. Not settled by the documentation:
    // whether a connection made before a host failed keeps working. Here ConnectServer and
    // every later call on an earlier connection fail alike.
    static HRESULT Injected(const Host& host) {
        // Not settled by the documentation: the number a user outside "Hyper-V
        // Administrators" gets. WBEM_E_ACCESS_DENIED is chosen (the bridge also takes
        // E_ACCESSDENIED).
        if (host.failure == L"access") return WBEM_E_ACCESS_DENIED;
        if (host.failure == L"namespace") return WBEM_E_INVALID_NAMESPACE;
        // Not settled by the documentation: how long DCOM takes to give up on a host that
        // is switched off, and with which number. The call waits 60 seconds (longer than
        // any client may be kept), then fails with RPC_S_SERVER_UNAVAILABLE.
        if (host.failure == L"down") {
            Sleep(60'000);
            return kServerUnavailable;
        }
        return S_OK;
    }

private:
    template <class Body>
    HRESULT Serve(Body&& body) {
        Host host;
        {
            EnterCriticalSection(&g_lock);
            State state = Load();
            const Host* found = state.FindHost(host_);
            if (found) host = *found;
            LeaveCriticalSection(&g_lock);
            if (!found) return kServerUnavailable;
        }
        if (const HRESULT hr = Injected(host); FAILED(hr)) return hr;
        EnterCriticalSection(&g_lock);
        State state = Load();
        HRESULT hr = kServerUnavailable;
        if (const Host* found = state.FindHost(host_)) {
            Namespace ns{*found, state};
            hr = body(ns);
        }
        LeaveCriticalSection(&g_lock);
        return hr;
    }

    static long ReturnValue(const Host& host) { return host.jobs == L"now" ? 0 : 4096; }

    // Checks a change and says what it does: 0 when it is valid, else the method's code.
    // Not settled by the documentation: which code each invalid request gets. Invalid
    // Parameter (4) is chosen for all, the request then changing nothing.
    static long Change(Namespace& ns, const std::wstring& method, Object* parameters, std::wstring& machine,
                       std::wstring& disk) {
        const std::vector<std::wstring> settings = parameters->Texts(L"ResourceSettings");
        if (settings.size() != 1) return 4;
        if (Same(method, L"RemoveResourceSettings")) {
            for (Machine& m : ns.state.machines) {
                if (!Same(m.host, ns.host.name) || m.disk.empty()) continue;
                for (Held& d : ns.Disks(m)) {
                    if (Same(Relative(d->Path()), Relative(settings[0])) &&
                        d->Text(L"ResourceSubType") == kFloppyDisk) {
                        machine = m.id;
                        return 0;
                    }
                }
            }
            return 4;
        }
        Embedded instance;
        if (!ParseEmbedded(settings[0], instance) || !Same(instance.className, L"Msvm_StorageAllocationSettingData"))
            return 4;
        auto value = [&](const wchar_t* name) {
            const auto& values = instance.properties[Upper(name)];
            return values.empty() ? std::wstring() : values.front();
        };
        const auto& images = instance.properties[L"HOSTRESOURCE"];
        if (images.size() != 1 || images[0].empty()) return 4;
        disk = images[0];
        if (Same(method, L"ModifyResourceSettings")) {
            // Not settled by the documentation: which properties of the instance Hyper-V
            // reads beyond InstanceID. The simulation changes HostResource only.
            for (Machine& m : ns.state.machines) {
                if (Same(m.host, ns.host.name) && !m.disk.empty() && Same(value(L"InstanceID"), DiskId(m))) {
                    machine = m.id;
                    return 0;
                }
            }
            return 4;
        }
        if (!Same(method, L"AddResourceSettings")) return 4;
        Machine* m = ns.MachineOf(parameters->Text(L"AffectedConfiguration"), L"Msvm_VirtualSystemSettingData");
        // Not settled by the documentation: which properties of the default settings Hyper-V
        // reads back from an added disk, and in which form it takes Parent. The simulation
        // reads ResourceSubType, Parent (the drive's path, full or relative) and
        // HostResource. Nor what adding a disk to a drive that holds one does: it is
        // refused here.
        if (!m || m->generation != 1 || !m->disk.empty() || value(L"ResourceSubType") != kFloppyDisk ||
            !Same(Relative(value(L"Parent")), Relative(ns.DrivePath(*m))))
            return 4;
        machine = m->id;
        return 0;
    }

    // Makes the change now, or hands out the job that will.
    static void Start(Namespace& ns, const std::wstring& machine, const std::wstring& disk, Held& answer) {
        const Host& host = ns.host;
        Job job{host.name, machine, disk, host.jobs, host.jobError, GetTickCount() + 400, false};
        if (host.jobs == L"now" || host.jobs == L"done") {
            ns.state.FindMachine(machine)->disk = disk;
            Save(ns.state);
            job.applied = true;
            if (host.jobs == L"now") return;
        }
        const std::wstring id = L"SIM-JOB-" + std::to_wstring(++g_nextJob);
        g_jobs[Upper(id)] = job;
        answer->SetText(
            L"Job", L"\\\\" + ServerName(host) + L"\\" + kNamespace + L":Msvm_ConcreteJob.InstanceID=" + PathValue(id));
    }

    // Not settled by the documentation: how a job moves on. "done" jobs are Completed
    // when first looked at; "later" ones Running (4) for 400 ms, then Completed, making
    // their change when they are first seen done; "fails" ones end in Exception (10) with
    // ErrorCode 32768 (Failed) and the scripted ErrorDescription, changing nothing;
    // "stuck" ones stay Running.
    static HRESULT JobObject(Namespace& ns, const std::wstring& path, IWbemClassObject** object) {
        const auto quote = path.find(L'"');
        const std::wstring id = quote == std::wstring::npos ? L"" : path.substr(quote + 1, path.size() - quote - 2);
        auto found = g_jobs.find(Upper(id));
        if (found == g_jobs.end() || !Same(found->second.host, ns.host.name)) return WBEM_E_NOT_FOUND;
        Job& job = found->second;
        long state = 7, code = 0;
        std::wstring error;
        if (job.mode == L"later" && !job.applied) {
            if (static_cast<LONG>(GetTickCount() - job.due) < 0) {
                state = 4;
            } else if (Machine* m = ns.state.FindMachine(job.machine)) {
                m->disk = job.disk;
                Save(ns.state);
                job.applied = true;
            }
        } else if (job.mode == L"fails") {
            state = 10, code = 32768, error = job.error;
        } else if (job.mode == L"stuck") {
            state = 4;
        }
        Held o = ns.New(L"Msvm_ConcreteJob");
        o->SetText(L"InstanceID", id);
        o->SetNumber(L"JobState", CIM_UINT16, state);
        o->SetNumber(L"ErrorCode", CIM_UINT16, code);
        if (error.empty())
            o->SetNull(L"ErrorDescription", CIM_STRING);
        else
            o->SetText(L"ErrorDescription", error);
        o->SetKeys(L"InstanceID=" + PathValue(id));
        *object = o.Give();
        return WBEM_S_NO_ERROR;
    }

    std::wstring host_;
};

class Locator final : public Unknown<IWbemLocator> {
public:
    STDMETHODIMP ConnectServer(const BSTR resource, const BSTR, const BSTR, const BSTR, LONG, const BSTR, IWbemContext*,
                               IWbemServices** services) override {
        if (!services || !resource) return WBEM_E_INVALID_PARAMETER;
        *services = nullptr;
        std::wstring path = resource, host = L".";
        if (path.rfind(L"\\\\", 0) == 0) {
            const auto slash = path.find(L'\\', 2);
            host = path.substr(2, slash == std::wstring::npos ? std::wstring::npos : slash - 2);
            path = slash == std::wstring::npos ? L"" : path.substr(slash + 1);
        }
        if (Same(host, L"localhost")) host = L".";
        Host found;
        EnterCriticalSection(&g_lock);
        State state = Load();
        const Host* known = state.FindHost(host);
        if (known) found = *known;
        LeaveCriticalSection(&g_lock);
        // Not settled by the documentation: what a name that no computer answers to gives.
        // RPC_S_SERVER_UNAVAILABLE at once.
        if (!known) return kServerUnavailable;
        if (const HRESULT hr = Services::Injected(found); FAILED(hr)) return hr;
        if (!Same(path, kNamespace)) return WBEM_E_INVALID_NAMESPACE;
        *services = new Services(host);
        return WBEM_S_NO_ERROR;
    }
};

class Factory final : public ombrevale::StaticComObject<IClassFactory> {
public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return ombrevale::Hand(new Locator(), iid, out);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_lock);
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_WbemLocator) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

// Stays loaded: a call that simulates a host that is down may still be sleeping in it.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
