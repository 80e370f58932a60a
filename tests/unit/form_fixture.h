// A frmMain over fakes, with the lists' clicks wired to its handlers as the shell wires
// them, so that choosing a position from code runs the nested handler; and checks of what
// it reported.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/frm_main.h"
#include "tests/fakes/call_log.h"
#include "tests/fakes/fake_automation.h"
#include "tests/fakes/fake_controls.h"
#include "tests/fakes/fake_folders.h"
#include "tests/fakes/fake_support.h"

namespace ombrevale::fakes {

// Lets gtest print failures readably.
inline void PrintTo(const BoxRecord& box, std::ostream* os) {
    *os << ::testing::PrintToString(box.text) << " style " << box.style;
}
inline void PrintTo(const ReportRecord& report, std::ostream* os) {
    *os << ::testing::PrintToString(report.message) << " about " << report.error.number << " "
        << ::testing::PrintToString(report.error.description) << " style " << report.style;
}

// A frmMain over fakes, with the lists' clicks wired to its handlers as the shell wires
// them, so that choosing a position from code runs the nested handler. A test that needs
// several makes them as it goes.
struct FakeForm {
    FakeForm() {
        view.vmList.onClick = [this] { form.cboVMName_Click(); };
        view.driveList.onClick = [this] { form.cboFloppyDrives_Click(); };
    }
    FakeForm(const FakeForm&) = delete;
    FakeForm& operator=(const FakeForm&) = delete;

    CallLog log;
    FakeHost host{&log};
    FakeSupport support{&log};
    FakeView view{&log};
    FakeFolders folders{&log};
    frmMain form{host, support, view, folders};
};

class FormTest : public ::testing::Test, protected FakeForm {
protected:
    // Fills the lists as the window's load does, then forgets the calls made so far.
    void Load() {
        ASSERT_TRUE(form.FillMachineList().ok());
        log.Clear();
    }

    std::vector<std::wstring> ReportMessages() const {
        std::vector<std::wstring> out;
        for (const auto& r : support.reporter.reports) out.push_back(r.message);
        return out;
    }
};

// The failure a fake gives by default for `who.op`.
inline Failure FakeFailure(const std::wstring& who, const std::wstring& op) {
    return Failure{kFakeFailureNumber, who + L"." + op + L" failed"};
}

// What a failed look-up of the chosen machine or drive reports, in every handler.
inline constexpr wchar_t kGetObjectFailed[] = L"Не удалось получить объект.";

// The reports of the error reporter, when they are one: `message`, about a failure that
// `error` matches (a Failure, or a matcher of one such as FailureNumber).
template <class Error>
auto OnlyReport(Error error, const std::wstring& message) {
    return ::testing::ElementsAre(::testing::AllOf(::testing::Field("error", &ReportRecord::error, error),
                                                   ::testing::Field("message", &ReportRecord::message, message)));
}
inline auto FailureNumber(std::int32_t number) { return ::testing::Field("number", &Failure::number, number); }

}  // namespace ombrevale::fakes
