// Fake controls of the main window: lists that run their click handler when a position
// is chosen from code, a status line, and the window around them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/form_view.h"
#include "tests/fakes/call_log.h"

namespace ombrevale::fakes {

inline constexpr std::int32_t kInvalidPropertyValue = static_cast<std::int32_t>(0x800A017Cu);  // 380

class FakeList : public ListControl, public Recorder {
public:
    FakeList(std::wstring name, CallLog* log) : Recorder(std::move(name), log) {}

    std::vector<std::wstring> items;
    std::int16_t position = -1;
    // The list's click, run by Select like a user's choice.
    std::function<void()> onClick;

    Status Clear() override {
        if (auto f = Enter(L"Clear")) return *f;
        items.clear();
        position = -1;
        return Ok();
    }
    Result<std::int16_t> Count() override {
        if (auto f = Enter(L"Count")) return *f;
        return static_cast<std::int16_t>(items.size());
    }
    Result<std::int16_t> Position() override {
        if (auto f = Enter(L"Position")) return *f;
        return position;
    }
    Result<std::int16_t> Append(const std::wstring& text) override {
        if (auto f = Enter(L"Append", text)) return *f;
        items.push_back(text);
        return static_cast<std::int16_t>(items.size() - 1);
    }
    Status Select(std::int16_t to) override {
        if (auto f = Enter(L"Select", Arg(to))) return *f;
        if (to < 0 || static_cast<std::size_t>(to) >= items.size())
            return Failure{kInvalidPropertyValue, L"Invalid property value"};
        position = to;
        if (onClick) onClick();
        return Ok();
    }
};

class FakeText : public TextLine, public Recorder {
public:
    FakeText(std::wstring name, CallLog* log) : Recorder(std::move(name), log) {}

    std::wstring text;

    Status SetText(const std::wstring& value) override {
        if (auto f = Enter(L"SetText", value)) return *f;
        text = value;
        return Ok();
    }
};

class FakeView : public FormView, public Recorder {
public:
    explicit FakeView(CallLog* log)
        : Recorder(L"frmMain", log),
          vmList(L"cboVMName", log),
          driveList(L"cboFloppyDrives", log),
          status(L"txtStatus", log) {}

    FakeList vmList;
    FakeList driveList;
    FakeText status;
    WindowHandle handle = 0x10010;
    ButtonPlacement placement{120, 1140, 975};  // left, top, width of cmdImageMenu
    bool unloaded = false;
    // Runs while the popup is up: the user's choice, if any.
    std::function<void()> onPopup;

    ListControl& cboVMName() override { return vmList; }
    ListControl& cboFloppyDrives() override { return driveList; }
    TextLine& txtStatus() override { return status; }

    Result<WindowHandle> hWnd() override {
        if (auto f = Enter(L"hWnd")) return *f;
        return handle;
    }
    Status Unload() override {
        if (auto f = Enter(L"Unload")) return *f;
        unloaded = true;
        return Ok();
    }
    Result<ButtonPlacement> cmdImageMenuPlacement() override {
        if (auto f = Enter(L"cmdImageMenuPlacement")) return *f;
        return placement;
    }
    Status PopupMenu(std::int16_t element, float x, float y, std::int32_t flags) override {
        if (auto f = Enter(L"PopupMenu", Args(element, x, y, flags))) return *f;
        if (onPopup) onPopup();
        return Ok();
    }
};

}  // namespace ombrevale::fakes
