// SPDX-License-Identifier: MIT
#include "win/GraphWindows.h"

#include "app/dialogs/ResponseMonitorForm.h"
#include "win/ResponseGraphWnd.h"
#include "win/ResponseMonitorDlg.h"

namespace vigilon::win {

bool runResponseMonitorDialog(Prompter &prompter, ResponseGraphParams &params)
{
    return editResponseGraphParams(params, [&prompter](ResponseMonitorForm &form) {
        CResponseMonitorDlg dialog(prompter, form);
        // Modal over the window the user clicked in, the main dialog.
        return dialog.run(GetActiveWindow()) == IDOK;
    });
}

std::unique_ptr<ResponseGraph> makeResponseGraphWindow(const Clock &clock, Prompter &prompter,
                                                       const ResponseGraphParams &params,
                                                       std::function<void()> closeRequest)
{
    auto window = std::make_unique<CResponseGraphWnd>(clock, prompter, params, std::move(closeRequest));
    if (!window->Create())
        return nullptr;
    return window;
}

} // namespace vigilon::win
