// A frmMain over fakes, with the lists' clicks wired to its handlers as the shell wires
// them, so that choosing a position from code runs the nested handler.
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

class FormTest : public ::testing::Test {
protected:
    FormTest() {
        view.vmList.onClick = [this] { form.cboVMName_Click(); };
        view.driveList.onClick = [this] { form.cboFloppyDrives_Click(); };
    }

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

    CallLog log;
    FakeHost host{&log};
    FakeSupport support{&log};
    FakeView view{&log};
    FakeFolders folders{&log};
    frmMain form{host, support, view, folders};
};

// The failure a fake gives by default for `who.op`.
inline Failure FakeFailure(const std::wstring& who, const std::wstring& op) {
    return Failure{kFakeFailureNumber, who + L"." + op + L" failed"};
}

}  // namespace ombrevale::fakes
