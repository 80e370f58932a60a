// A fake support library: records every as*/es* call, error report, about box, message
// box, file dialog and settings call in one log, answers file dialogs from a script and
// keeps settings in memory across store objects, as the registry would.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/support.h"
#include "tests/fakes/call_log.h"

namespace ombrevale::fakes {

struct ReportRecord {
    Failure error;
    std::int32_t style;
    std::int32_t reserved;
    std::wstring message;
    bool silent;
};

class FakeReporter : public ErrorReporter, public Recorder {
public:
    explicit FakeReporter(CallLog* log) : Recorder(L"reporter", log) {}
    std::vector<ReportRecord> reports;

    Result<std::int32_t> ReportError(const Failure& error, std::int32_t style, std::int32_t reserved,
                                     const std::wstring& message, bool silent) override {
        if (auto f = Enter(L"ReportError", Args(error, style, reserved, message, silent))) return *f;
        reports.push_back({error, style, reserved, message, silent});
        return 0;
    }
};

struct AboutRecord {
    WindowHandle owner;
    std::wstring applicationTitle;
    std::wstring text;
    const void* picture;
    std::wstring dedication;
};

class FakeAbout : public AboutBox, public Recorder {
public:
    explicit FakeAbout(CallLog* log) : Recorder(L"about", log) {}
    std::vector<AboutRecord> shown;

    Status ShowAbout(WindowHandle owner, const Application& application, const std::wstring& text, const void* picture,
                     const std::wstring& dedication) override {
        if (auto f = Enter(L"ShowAbout",
                           Args(owner, application.title, text, picture == nullptr ? L"null" : L"picture", dedication)))
            return *f;
        shown.push_back({owner, application.title, text, picture, dedication});
        return Ok();
    }
};

struct BoxRecord {
    std::wstring text;
    std::int32_t style;
    friend bool operator==(const BoxRecord&, const BoxRecord&) = default;
};

class FakeBoxes : public MessageBoxes, public Recorder {
public:
    explicit FakeBoxes(CallLog* log) : Recorder(L"boxes", log) {}
    std::vector<BoxRecord> shown;

    Result<std::int32_t> Show(const std::wstring& text, std::int32_t style) override {
        if (auto f = Enter(L"Show", Args(text, style))) return *f;
        shown.push_back({text, style});
        return 1;  // IDOK
    }
};

// What the user does in a file dialog: confirm a file, or cancel.
struct DialogAnswer {
    bool confirmed = false;
    std::wstring fileName;
};

// Everything one file dialog object was given, kept after the object is gone.
struct DialogRecord {
    std::optional<std::wstring> filter;
    std::optional<std::int32_t> options;
    std::optional<std::wstring> defaultExtension;
    std::optional<std::wstring> initialDirectory;
    std::optional<WindowHandle> owner;
    std::wstring shownAs;  // "open", "save" or empty
};

class FakeFileDialog : public FileDialog, public Recorder {
public:
    FakeFileDialog(std::wstring name, CallLog* log, Faults* faults, std::deque<DialogAnswer>* answers,
                   std::shared_ptr<DialogRecord> record, int* live)
        : Recorder(std::move(name), log, faults), answers_(answers), record_(std::move(record)), live_(live) {
        ++*live_;
    }
    ~FakeFileDialog() override { --*live_; }

    Result<std::wstring> FileName() override {
        if (auto f = Enter(L"FileName")) return *f;
        return chosen_;
    }
    Status SetOwner(WindowHandle owner) override { return Set(L"SetOwner", record_->owner, owner); }
    Status SetFilter(const std::wstring& filter) override { return Set(L"SetFilter", record_->filter, filter); }
    Status SetOptions(std::int32_t options) override { return Set(L"SetOptions", record_->options, options); }
    Status SetInitialDirectory(const std::wstring& directory) override {
        return Set(L"SetInitialDirectory", record_->initialDirectory, directory);
    }
    Status SetDefaultExtension(const std::wstring& extension) override {
        return Set(L"SetDefaultExtension", record_->defaultExtension, extension);
    }
    Result<bool> ShowOpen() override { return Show(L"ShowOpen", L"open"); }
    Result<bool> ShowSave() override { return Show(L"ShowSave", L"save"); }

private:
    // Records a setting as the dialog object was given it, unless the call is to fail.
    template <class T>
    Status Set(const wchar_t* op, std::optional<T>& field, const T& value) {
        if (auto f = Enter(op, Arg(value))) return *f;
        field = value;
        return Ok();
    }
    // A dialog with no scripted answer is cancelled.
    Result<bool> Show(const std::wstring& op, const std::wstring& kind) {
        if (auto f = Enter(op)) return *f;
        record_->shownAs = kind;
        if (answers_->empty()) return false;
        DialogAnswer answer = answers_->front();
        answers_->pop_front();
        if (answer.confirmed) chosen_ = answer.fileName;
        return answer.confirmed;
    }

    std::deque<DialogAnswer>* answers_;
    std::shared_ptr<DialogRecord> record_;
    int* live_;
    std::wstring chosen_;
};

using SettingsMap = std::map<std::pair<std::wstring, std::wstring>, std::wstring>;

class FakeSettingsStore : public SettingsStore, public Recorder {
public:
    FakeSettingsStore(std::wstring name, CallLog* log, Faults* faults, SettingsMap* storage,
                      std::optional<std::int16_t> statusAfterRead, int* live)
        : Recorder(std::move(name), log, faults), storage_(storage), statusAfterRead_(statusAfterRead), live_(live) {
        ++*live_;
    }
    ~FakeSettingsStore() override { --*live_; }

    Result<std::wstring> GetSetting(const std::wstring& section, const std::wstring& key, std::int32_t scope,
                                    const Application& application, const std::wstring& defaultValue, bool perUser,
                                    std::int16_t& status) override {
        if (auto f = Enter(L"GetSetting", Args(section, key, scope, application.title, defaultValue, perUser,
                                               L"status=" + Arg(status))))
            return *f;
        if (statusAfterRead_) status = *statusAfterRead_;
        auto it = storage_->find({section, key});
        return it == storage_->end() ? defaultValue : it->second;
    }
    Status SaveSetting(const std::wstring& section, const std::wstring& key, std::int32_t scope,
                       const std::wstring& value, const Application& application, bool perUser,
                       std::int16_t& status) override {
        if (auto f = Enter(L"SaveSetting",
                           Args(section, key, scope, value, application.title, perUser, L"status=" + Arg(status))))
            return *f;
        (*storage_)[{section, key}] = value;
        return Ok();
    }

private:
    SettingsMap* storage_;
    std::optional<std::int16_t> statusAfterRead_;
    int* live_;
};

class FakeSupport : public SupportLibrary, public Recorder {
public:
    explicit FakeSupport(CallLog* log) : Recorder(L"support", log), reporter(log), about(log), boxes(log) {}

    FakeReporter reporter;
    FakeAbout about;
    FakeBoxes boxes;
    Application app{L"Quorvex - Ombrevale", L"Quorvex", L"Ombrevale"};

    bool inIDE = false;
    WindowHandle thunderMainHandle = 0x20020;
    WindowHandle activeWindow = 0x10010;

    // File dialogs: answers in the order the dialogs are shown, what each was given,
    // a fault plan for all of them ("SetFilter", "ShowOpen", "FileName", ...), and how
    // many are alive.
    std::deque<DialogAnswer> dialogAnswers;
    std::vector<std::shared_ptr<DialogRecord>> dialogs;
    Faults dialogFaults;
    int liveDialogs = 0;

    // Settings stores: what they hold, a fault plan for all of them, what a read
    // leaves in the status word, and how many are alive.
    SettingsMap settings;
    Faults settingsFaults;
    std::optional<std::int16_t> statusAfterRead;
    int liveSettingsStores = 0;

    Status asSetWindowResIconAll(WindowHandle window, const std::wstring& resourceName) override {
        if (auto f = Enter(L"asSetWindowResIconAll", Args(window, resourceName))) return *f;
        return Ok();
    }
    Status asCenterFormEx(WindowHandle window) override {
        if (auto f = Enter(L"asCenterFormEx", Arg(window))) return *f;
        return Ok();
    }
    Status asFixUserControlsContainerWindow() override {
        if (auto f = Enter(L"asFixUserControlsContainerWindow")) return *f;
        return Ok();
    }
    Status esRegisterAppPath() override {
        if (auto f = Enter(L"esRegisterAppPath")) return *f;
        return Ok();
    }
    Result<bool> esIsInIDE() override {
        if (auto f = Enter(L"esIsInIDE")) return *f;
        return inIDE;
    }
    Result<WindowHandle> esGetThunderMainHandle() override {
        if (auto f = Enter(L"esGetThunderMainHandle")) return *f;
        return thunderMainHandle;
    }
    Status esOpenReadMeFile(std::int32_t reserved) override {
        if (auto f = Enter(L"esOpenReadMeFile", Arg(reserved))) return *f;
        return Ok();
    }
    // The directory part, without its closing separator.
    Result<std::wstring> esGetFilePath(const std::wstring& path) override {
        if (auto f = Enter(L"esGetFilePath", path)) return *f;
        auto cut = path.find_last_of(L"\\/");
        return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
    }

    Result<std::reference_wrapper<ErrorReporter>> Reporter() override {
        if (auto f = Enter(L"Reporter")) return *f;
        return std::ref<ErrorReporter>(reporter);
    }
    Result<AboutBox*> About() override {
        if (auto f = Enter(L"About")) return *f;
        return static_cast<AboutBox*>(&about);
    }
    Result<std::unique_ptr<FileDialog>> NewFileDialog() override {
        if (auto f = Enter(L"NewFileDialog")) return *f;
        auto record = std::make_shared<DialogRecord>();
        dialogs.push_back(record);
        return std::unique_ptr<FileDialog>(std::make_unique<FakeFileDialog>(
            L"dialog" + std::to_wstring(dialogs.size()), log(), &dialogFaults, &dialogAnswers, record, &liveDialogs));
    }
    Result<std::unique_ptr<SettingsStore>> NewSettingsStore() override {
        if (auto f = Enter(L"NewSettingsStore")) return *f;
        return std::unique_ptr<SettingsStore>(std::make_unique<FakeSettingsStore>(
            L"settings", log(), &settingsFaults, &settings, statusAfterRead, &liveSettingsStores));
    }
    MessageBoxes& Boxes() override { return boxes; }
    WindowHandle GetActiveWindow() override {
        (void)Enter(L"GetActiveWindow");
        return activeWindow;
    }
    const Application& App() override { return app; }
};

}  // namespace ombrevale::fakes
