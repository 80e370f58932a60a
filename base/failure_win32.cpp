#include "base/failure_win32.h"

#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "base/hresults.h"
#include "base/owners_win32.h"

namespace ombrevale {

static_assert(kNoObject == E_POINTER);

namespace {

std::wstring FormatSystemMessage(DWORD code) {
    UniqueLocalMemory<wchar_t> buffer;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    return length && buffer ? Trimmed(std::wstring(buffer.get(), length)) : std::wstring();
}

// Words for the COM failures a user meets when the server is missing or broken.
const wchar_t* KnownComText(HRESULT hr) {
    switch (hr) {
    case REGDB_E_CLASSNOTREG: return L"Класс не зарегистрирован.";
    case CO_E_SERVER_EXEC_FAILURE: return L"Не удалось запустить сервер автоматизации.";
    case CO_E_APPNOTFOUND: return L"Приложение не найдено.";
    case E_NOINTERFACE: return L"Интерфейс не поддерживается.";
    case E_ACCESSDENIED: return L"Доступ запрещён.";
    case E_OUTOFMEMORY: return L"Недостаточно памяти.";
    case RPC_E_SERVERFAULT: return L"Сбой на стороне сервера автоматизации.";
    case DISP_E_UNKNOWNNAME: return L"Неизвестное имя операции.";
    case DISP_E_MEMBERNOTFOUND: return L"Операция не найдена.";
    case DISP_E_TYPEMISMATCH: return L"Несоответствие типов.";
    case DISP_E_BADPARAMCOUNT: return L"Неверное число параметров.";
    default: return nullptr;
    }
}

// The server process is gone or does not answer. The system's words for these speak of
// RPC, which tells a user nothing: the program's own come first.
const wchar_t* ServerConnectionText(HRESULT hr) {
    switch (static_cast<unsigned long>(hr)) {
    case 0x800706BAul:  // RPC_S_SERVER_UNAVAILABLE
        return L"Сервер Virtual PC недоступен: его процесс завершился или не запускается.";
    case 0x800706BEul:  // RPC_S_CALL_FAILED
    case 0x800706BFul:  // RPC_S_CALL_FAILED_DNE
        return L"Сервер Virtual PC недоступен: связь с ним прервалась во время вызова.";
    case 0x80010108ul:  // RPC_E_DISCONNECTED
        return L"Сервер Virtual PC недоступен: объект отключён от сервера.";
    case 0x80010002ul:  // RPC_E_CALL_CANCELED
        return L"Сервер Virtual PC не отвечает: вызов прерван.";
    case 0x80010001ul:  // RPC_E_CALL_REJECTED
        return L"Сервер Virtual PC занят и не принял вызов.";
    default: return nullptr;
    }
}

std::wstring Join(const std::wstring& what, const std::wstring& why) {
    if (what.empty()) return why;
    if (why.empty()) return what;
    return what + L": " + why;
}

}  // namespace

std::wstring Trimmed(const std::wstring& text) {
    constexpr const wchar_t* kBlank = L" \t\r\n";
    const auto first = text.find_first_not_of(kBlank);
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

Failure FailureOf(HRESULT hr, std::wstring description) {
    return Failure{static_cast<std::int32_t>(hr), std::move(description)};
}

std::wstring SystemMessage(HRESULT hr) {
    if (const wchar_t* server = ServerConnectionText(hr)) return server;
    std::wstring message = FormatSystemMessage(static_cast<DWORD>(hr));
    // Win32 codes wrapped in an HRESULT are found under their plain number on some systems.
    if (message.empty() && HRESULT_FACILITY(hr) == FACILITY_WIN32)
        message = FormatSystemMessage(static_cast<DWORD>(HRESULT_CODE(hr)));
    if (message.empty())
        if (const wchar_t* known = KnownComText(hr)) message = known;
    return message;
}

std::wstring SystemMessageOrNumber(HRESULT hr) {
    std::wstring message = SystemMessage(hr);
    if (!message.empty()) return message;
    wchar_t number[16];
    std::swprintf(number, std::size(number), L"0x%08lX", static_cast<unsigned long>(hr));
    return L"Ошибка " + std::wstring(number) + L".";
}

Failure HResultFailure(HRESULT hr, const std::wstring& what) {
    return FailureOf(hr, Join(what, SystemMessageOrNumber(hr)));
}

Failure Win32Failure(DWORD error, const std::wstring& what) {
    return HResultFailure(error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error), what);
}

Failure LastErrorFailure(const std::wstring& what) { return Win32Failure(::GetLastError(), what); }

Result<std::wstring> ProgramPath() {
    constexpr wchar_t kWhat[] = L"Не удалось узнать путь программы";
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return LastErrorFailure(kWhat);
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        if (buffer.size() >= 32768) return Win32Failure(ERROR_INSUFFICIENT_BUFFER, kWhat);
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace ombrevale
