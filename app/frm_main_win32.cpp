#include "app/frm_main_win32.h"

#include <commctrl.h>
#include <windowsx.h>

#include <climits>
#include <new>
#include <utility>

#include "app/accessible_win32.h"
#include "app/texts.h"
#include "base/failure_win32.h"

namespace ombrevale {
namespace {

namespace texts = app_texts;

constexpr const wchar_t* kWindowClass = L"OmbrevaleMainWindow";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;
// Posted by a drop that was taken, so that it runs once the source has let go.
constexpr UINT kDroppedMessage = WM_APP + 1;
// Entries a drop-down list shows before it scrolls.
constexpr int kDropDownEntries = 10;

Result<std::int16_t> ToPosition(LRESULT value, const wchar_t* what) {
    if (value < SHRT_MIN || value > SHRT_MAX) return FailureOf(E_FAIL, what);
    return static_cast<std::int16_t>(value);
}

}  // namespace

// ---- controls ---------------------------------------------------------------------------

Status ComboList::Clear() {
    if (!hwnd_) return FailureOf(E_HANDLE, texts::kListNotCreated);
    SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
    return Ok();
}

Result<std::int16_t> ComboList::Count() {
    if (!hwnd_) return FailureOf(E_HANDLE, texts::kListNotCreated);
    const LRESULT count = SendMessageW(hwnd_, CB_GETCOUNT, 0, 0);
    if (count == CB_ERR) return FailureOf(E_FAIL, texts::kListCountFailed);
    return ToPosition(count, texts::kListTooLong);
}

Result<std::int16_t> ComboList::Position() {
    if (!hwnd_) return FailureOf(E_HANDLE, texts::kListNotCreated);
    // CB_ERR is -1: nothing chosen.
    return ToPosition(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0), texts::kBadListPosition);
}

Result<std::int16_t> ComboList::Append(const std::wstring& text) {
    if (!hwnd_) return FailureOf(E_HANDLE, texts::kListNotCreated);
    const LRESULT position = SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (position == CB_ERR || position == CB_ERRSPACE) return FailureOf(E_OUTOFMEMORY, texts::kListAppendFailed);
    if (position > SHRT_MAX) {
        SendMessageW(hwnd_, CB_DELETESTRING, static_cast<WPARAM>(position), 0);
        return FailureOf(E_FAIL, texts::kListTooLong);
    }
    return static_cast<std::int16_t>(position);
}

Status ComboList::Select(std::int16_t position) {
    if (!hwnd_) return FailureOf(E_HANDLE, texts::kListNotCreated);
    const LRESULT result = SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
    if (result == CB_ERR && position != -1) return FailureOf(E_INVALIDARG, texts::kBadListPosition);
    // A choice made from code counts as a click, as a choice of the user does.
    Clicked();
    return Ok();
}

Status EditLine::SetText(const std::wstring& text) {
    if (!hwnd_) return FailureOf(E_HANDLE, texts::kFieldNotCreated);
    if (!SetWindowTextW(hwnd_, text.c_str())) return LastErrorFailure(texts::kSetFieldTextFailed);
    return Ok();
}

// ---- window -----------------------------------------------------------------------------

MainWindow::MainWindow(HINSTANCE instance, VirtualPCHost& host, SupportLibrary& support, dpi::Scaling scaling)
    : instance_(instance), support_(support), scaling_(scaling) {
    form_ = std::make_unique<frmMain>(host, support, *this, folders_);
}

MainWindow::~MainWindow() {
    quitOnDestroy_ = false;
    if (hwnd_) DestroyWindow(hwnd_);
    // The form's collections hold automation objects: release them with the window.
    form_.reset();
}

Result<std::unique_ptr<MainWindow>> MainWindow::Create(HINSTANCE instance, VirtualPCHost& host, SupportLibrary& support,
                                                       dpi::Scaling scaling) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (!GetClassInfoExW(instance, kWindowClass, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &MainWindow::WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kWindowClass;
        if (!RegisterClassExW(&wc)) return LastErrorFailure(texts::kRegisterWindowClassFailed);
    }

    std::unique_ptr<MainWindow> window(new MainWindow(instance, host, support, scaling));
    HWND hwnd = CreateWindowExW(kWindowExStyle, kWindowClass, kWindowCaption, kWindowStyle, CW_USEDEFAULT,
                                CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, window.get());
    if (!hwnd) return LastErrorFailure(texts::kCreateWindowFailed);
    window->dpi_ = window->scaling_.ForWindow(hwnd);
    OMB_RETURN_IF_FAILED(window->CreateControls());
    OMB_RETURN_IF_FAILED(window->CreateMenus());
    window->ApplyDpi(window->dpi_, nullptr);
    window->RegisterDropTarget();
    window->NameControls();
    return window;
}

void MainWindow::RegisterDropTarget() {
    auto ole = std::make_unique<OleSession>();
    if (FAILED(ole->result)) return;
    auto target = Adopted(new DropTarget(this));
    if (FAILED(RegisterDragDrop(hwnd_, target.Get()))) return;
    ole_ = std::move(ole);
    dropTarget_ = std::move(target);
}

void MainWindow::NameControls() {
    GiveAccessibleName(controls_[kCboVMName], texts::kAccessibleMachineList);
    GiveAccessibleName(controls_[kCboFloppyDrives], texts::kAccessibleDriveList);
    GiveAccessibleName(controls_[kTxtStatus], texts::kAccessibleStatus, AccessibleValue::Text);
    GiveAccessibleName(controls_[kCmdImageMenu], texts::kAccessibleImageMenu);
}

// A box or dialog of the program disables the window; a command runs as an event; and a
// drop taken a moment ago has not run yet.
bool MainWindow::TakesDrop() {
    return hwnd_ && IsWindowEnabled(hwnd_) && !inEvent_ && !pendingDrop_ && form_->Form_OLEDragOver();
}

bool MainWindow::Dropped(std::vector<DroppedFile> files) {
    if (!hwnd_ || !PostMessageW(hwnd_, kDroppedMessage, 0, 0)) return false;
    pendingDrop_ = std::move(files);
    return true;
}

Status MainWindow::CreateControls() {
    for (const ControlLayout& c : kLayout) {
        const wchar_t* cls = L"";
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
        DWORD exStyle = 0;
        switch (c.kind) {
        case ControlKind::DropDownList:
            cls = WC_COMBOBOXW;
            style |= CBS_DROPDOWNLIST | WS_VSCROLL;  // list-only, not sorted
            break;
        case ControlKind::TextBox:
            cls = WC_EDITW;
            style |= ES_AUTOHSCROLL | ES_READONLY | ES_LEFT;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Button:
            cls = WC_BUTTONW;
            style |= BS_PUSHBUTTON;  // neither default nor cancel
            break;
        }
        HWND child =
            CreateWindowExW(exStyle, cls, c.caption, style, 0, 0, 0, 0, hwnd_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlCommand(c.id))), instance_, nullptr);
        if (!child) return LastErrorFailure(texts::kCreateControlFailed);
        controls_[c.id] = child;
    }
    vmList_.Attach(controls_[kCboVMName], [this] { form_->cboVMName_Click(); });
    driveList_.Attach(controls_[kCboFloppyDrives], [this] { form_->cboFloppyDrives_Click(); });
    status_.Attach(controls_[kTxtStatus]);
    return Ok();
}

Status MainWindow::CreateMenus() {
    UniqueMenu main(CreateMenu());
    UniqueMenu image(CreatePopupMenu());
    if (!main || !image) return LastErrorFailure(texts::kCreateMenuFailed);
    for (const MenuItemLayout& item : kImageMenu) {
        const UINT_PTR id = kImageMenuCommandBase + item.index;
        const bool separator = std::wstring_view(item.caption) == L"-";
        if (!AppendMenuW(image.get(), separator ? MF_SEPARATOR : MF_STRING, id, separator ? nullptr : item.caption))
            return LastErrorFailure(texts::kCreateMenuFailed);
    }
    if (!AppendMenuW(main.get(), MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(image.get()), kMainMenuCaption))
        return LastErrorFailure(texts::kCreateMenuFailed);
    // The main menu owns its submenu from here on, and destroys it with itself.
    imageMenu_ = image.release();
    mainMenu_ = std::move(main);
    return Ok();
}

void MainWindow::ApplyDpi(unsigned dpi, const RECT* suggested) {
    dpi_ = dpi;
    ApplyFont();
    ApplyWindowSize(suggested);
    for (const ControlLayout& c : kLayout) PlaceControl(c);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::ApplyFont() {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(kFontPoints, static_cast<int>(dpi_), 72);
    lf.lfWeight = kFontWeight;
    lf.lfCharSet = kFontCharset;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    lstrcpynW(lf.lfFaceName, kFontFace, LF_FACESIZE);
    // The new font goes on before the old one is freed: no control is ever left with a
    // dead font.
    if (UniqueFont font(CreateFontIndirectW(&lf)); font) {
        for (HWND child : controls_) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        font_ = std::move(font);
    }
}

// The window's size from its client size, at `suggested` where the system gave a place.
void MainWindow::ApplyWindowSize(const RECT* suggested) {
    const int clientWidth = TwipsToPixels(kClientWidthTwips, dpi_);
    const int clientHeight = TwipsToPixels(kClientHeightTwips, dpi_);
    RECT frame{0, 0, clientWidth, clientHeight};
    scaling_.AdjustWindowRect(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi_);
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (suggested ? 0 : SWP_NOMOVE);
    SetWindowPos(hwnd_, nullptr, suggested ? suggested->left : CW_USEDEFAULT,
                 suggested ? suggested->top : CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, flags);
    // Corrected by what was drawn: the frame reported for a DPI is not always the frame drawn.
    RECT client{}, window{};
    GetClientRect(hwnd_, &client);
    GetWindowRect(hwnd_, &window);
    const int dw = clientWidth - client.right, dh = clientHeight - client.bottom;
    if (dw || dh)
        SetWindowPos(hwnd_, nullptr, 0, 0, window.right - window.left + dw, window.bottom - window.top + dh,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

void MainWindow::PlaceControl(const ControlLayout& c) {
    HWND child = controls_[c.id];
    const int left = TwipsToPixels(c.left, dpi_), top = TwipsToPixels(c.top, dpi_);
    const int width = TwipsToPixels(c.width, dpi_), height = TwipsToPixels(c.height, dpi_);
    if (c.kind != ControlKind::DropDownList) {
        SetWindowPos(child, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    // A drop-down list's closed height follows its selection field: size that field
    // until the closed list is exactly as high as the layout says.
    const LRESULT item = SendMessageW(child, CB_GETITEMHEIGHT, 0, 0);
    const int listHeight = (item > 0 ? static_cast<int>(item) : height) * kDropDownEntries + 2;
    SetWindowPos(child, nullptr, left, top, width, height + listHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    // Correct by what each setting measured: some list implementations read back a
    // field height other than the one they were given.
    LRESULT field = SendMessageW(child, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    for (int attempt = 0; attempt < 4 && field != CB_ERR; ++attempt) {
        RECT closed{};
        GetWindowRect(child, &closed);
        const int error = height - (closed.bottom - closed.top);
        if (error == 0 || field + error <= 0) break;
        field += error;
        SendMessageW(child, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
        SetWindowPos(child, nullptr, left, top, width, height + listHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

Status MainWindow::Show() {
    OMB_RETURN_IF_FAILED(form_->Form_Load());
    if (!hwnd_) return FailureOf(E_HANDLE, texts::kWindowClosed);
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    SetForegroundWindow(hwnd_);
    SetFocus(controls_[kCboVMName]);
    return Ok();
}

HWND MainWindow::control(ControlId id) const { return controls_[id]; }

Result<WindowHandle> MainWindow::hWnd() {
    if (!hwnd_) return FailureOf(E_HANDLE, texts::kWindowClosed);
    return reinterpret_cast<WindowHandle>(hwnd_);
}

Status MainWindow::Unload() {
    if (!hwnd_) return FailureOf(E_HANDLE, texts::kWindowClosed);
    // Posted, so the close runs as the close button's does, after the key has gone on.
    if (!PostMessageW(hwnd_, WM_CLOSE, 0, 0)) return LastErrorFailure(texts::kCloseWindowFailed);
    return Ok();
}

Result<ButtonPlacement> MainWindow::cmdImageMenuPlacement() {
    const ControlLayout& button = kLayout[kCmdImageMenu];
    ButtonPlacement placement;
    placement.top = static_cast<float>(button.top);
    placement.left = static_cast<float>(button.left);
    placement.width = static_cast<float>(button.width);
    return placement;
}

Status MainWindow::PopupMenu(std::int16_t element, float x, float y, std::int32_t flags) {
    if (element != kImageMenuElement) return FailureOf(E_INVALIDARG, texts::kNoSuchMenuElement);
    if (!hwnd_ || !mainMenu_) return FailureOf(E_HANDLE, texts::kMenuNotCreated);
    HMENU popup = GetSubMenu(mainMenu_.get(), 0);
    if (!popup) return FailureOf(E_HANDLE, texts::kMenuNotCreated);
    POINT at{TwipsToPixels(x, dpi_), TwipsToPixels(y, dpi_)};
    ClientToScreen(hwnd_, &at);
    // The menu must belong to the foreground window, or it does not close when the user
    // clicks elsewhere.
    SetForegroundWindow(hwnd_);
    if (!TrackPopupMenuEx(popup, static_cast<UINT>(flags), at.x, at.y, hwnd_, nullptr))
        return LastErrorFailure(texts::kShowMenuFailed);
    PostMessageW(hwnd_, WM_NULL, 0, 0);
    return Ok();
}

void MainWindow::PreviewKey(const MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return;
    if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return;
    const auto key = static_cast<std::int16_t>(msg.wParam);
    // An open drop-down list takes Esc for itself: it closes the list, not the window.
    if (key == VK_ESCAPE) {
        for (ControlId id : {kCboVMName, kCboFloppyDrives})
            if (SendMessageW(controls_[id], CB_GETDROPPEDSTATE, 0, 0)) return;
    }
    std::int16_t shift = 0;
    if (GetKeyState(VK_SHIFT) < 0) shift |= 1;
    if (GetKeyState(VK_CONTROL) < 0) shift |= 2;
    if (GetKeyState(VK_MENU) < 0) shift |= 4;
    // A key's command (the next disk) is an event like a click: a click that comes while
    // it waits for the server runs after it.
    const bool outermost = !inEvent_;
    inEvent_ = true;
    Check(form_->Form_KeyDown(key, shift));
    if (outermost) EndEvent();
}

void MainWindow::Fatal(const Failure& failure) {
    ReportFailure(support_, failure, texts::kUnhandledFailure);
    exitCode_ = 1;
    if (hwnd_) DestroyWindow(hwnd_);
}

void MainWindow::OnCommand(int id, int code) {
    switch (id) {
    case ControlCommand(kCboVMName):
        if (code == CBN_SELCHANGE) vmList_.Clicked();
        return;
    case ControlCommand(kCboFloppyDrives):
        if (code == CBN_SELCHANGE) driveList_.Clicked();
        return;
    case ControlCommand(kCmdImageMenu):
        if (code == BN_CLICKED) form_->cmdImageMenu_Click();
        return;
    case ControlCommand(kCmdDetach):
        if (code == BN_CLICKED) form_->cmdDetach_Click();
        return;
    case ControlCommand(kCmdAttachImage):
        if (code == BN_CLICKED) form_->cmdAttachImage_Click();
        return;
    default: break;
    }
    // Menu items carry their mnuImage index. Enter and Esc's IDOK and IDCANCEL from the
    // dialog manager are not commands here: the window has no default or cancel button.
    if (code == 0 && id > kImageMenuCommandBase && id <= kImageMenuCommandBase + SHRT_MAX)
        form_->mnuImage_Click(static_cast<std::int16_t>(id - kImageMenuCommandBase));
}

bool MainWindow::BeginEvent(UINT message, WPARAM wParam, LPARAM lParam) {
    if (inEvent_) {
        deferred_.push_back({message, wParam, lParam});
        return false;
    }
    inEvent_ = true;
    return true;
}

void MainWindow::EndEvent() {
    inEvent_ = false;
    if (hwnd_)
        for (const Deferred& d : std::exchange(deferred_, {})) PostMessageW(hwnd_, d.message, d.wParam, d.lParam);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->controls_.fill(nullptr);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    // No exception may cross into the system's code: it is reported like any failure that
    // reaches the top of an event, and the program ends.
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        self->Fatal(FailureOf(E_OUTOFMEMORY, texts::kOutOfMemory));
    } catch (...) {
        self->Fatal(FailureOf(E_UNEXPECTED, texts::kInternalError));
    }
    return 0;
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (BeginEvent(message, wParam, lParam)) {
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            EndEvent();
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        // The read-only status line keeps the button-face colour of the system scheme.
        if (reinterpret_cast<HWND>(lParam) == controls_[kTxtStatus]) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    case dpi::kDpiChangedMessage: ApplyDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam)); return 0;
    case WM_ACTIVATE:
        // Give the focus back to the control that had it, as a dialog does.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
        } else if (lastFocus_ && IsWindow(lastFocus_)) {
            SetFocus(lastFocus_);
            return 0;
        }
        break;
    case kDroppedMessage:
        if (BeginEvent(message, wParam, lParam)) {
            if (auto files = std::exchange(pendingDrop_, std::nullopt)) {
                // Dropped from another program's window: the boxes that follow belong in front.
                SetForegroundWindow(hwnd_);
                form_->Form_OLEDragDrop(*files);
            }
            EndEvent();
        }
        return 0;
    case WM_CLOSE:
        form_->Form_Unload();
        DestroyWindow(hwnd_);
        return 0;
    case WM_DESTROY:
        if (dropTarget_) {
            dropTarget_->Detach();
            RevokeDragDrop(hwnd_);
        }
        // Closing the only window ends the program.
        if (quitOnDestroy_) PostQuitMessage(exitCode_);
        return 0;
    default: break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void ProcessMessage(MainWindow& window, MSG& msg) {
    window.PreviewKey(msg);
    if (window.hwnd() && IsDialogMessageW(window.hwnd(), &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

int RunMessageLoop(MainWindow& window) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) ProcessMessage(window, msg);
    return window.exitCode();
}

}  // namespace ombrevale
