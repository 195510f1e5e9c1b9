// SPDX-License-Identifier: MIT
#include "win/TargetHostDlg.h"

#include "win/DialogIds.h"
#include "win/ModalDialog.h"
#include "win/WinControls.h"

namespace vigilon::win {

namespace {

class CTargetHostDlg final : public ModalBase {
public:
    CTargetHostDlg(TargetHostForm &form, Prompter &p, void (*open)(HWND, void *), void *ctx)
        : ModalBase(p, open, ctx)
        , form_(form)
    {
    }

    void init() override
    {
        host_.attach(GetDlgItem(window, IDC_HOST));
        // The box itself refuses what would not fit.
        SendMessageW(host_.handle(), EM_LIMITTEXT, TargetHostForm::MaxHostChars, 0);
        form_.init(host_);
    }

    bool command(int id, int) override
    {
        switch (id) {
        case IDOK:
            if (form_.onOk(host_, prompter) && *alive)
                EndDialog(window, IDOK);
            return true;
        case IDCANCEL:
            EndDialog(window, IDCANCEL);
            return true;
        default:
            return false;
        }
    }

private:
    TargetHostForm &form_;
    HwndEditField host_;
};

} // namespace

bool runTargetHostDialog(HWND owner, TargetHostForm &form, Prompter &prompter, void (*onOpen)(HWND, void *),
                         void *context)
{
    CTargetHostDlg dialog(form, prompter, onOpen, context);
    return runModal(owner, IDD_TARGET_HOST, dialog);
}

} // namespace vigilon::win
