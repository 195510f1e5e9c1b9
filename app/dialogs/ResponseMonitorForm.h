// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"
#include "app/dialogs/EditField.h"
#include "graph/ResponseGraphParams.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vigilon {

// The rules of the response monitor settings dialog, which is asked before a
// graph window opens: its opacity, its history length and whether and where
// it records the samples. The caller fills the fields (forGraph), runs the
// dialog and, when OK closed it, reads them back (applyTo).
class ResponseMonitorForm {
public:
    // The trackbar runs from transparent to opaque.
    static constexpr int AlphaLow = 0;
    static constexpr int AlphaHigh = 255;
    static constexpr int HistoryLow = 10;
    static constexpr int HistoryHigh = 999;

    // What the rules need of the dialog's controls.
    class Controls {
    public:
        virtual ~Controls() = default;
        virtual void setPortText(const std::string &text) = 0;
        virtual EditField &historyField() = 0;
        // Moves the history's up-down control, which keeps within
        // HistoryLow..HistoryHigh and shows its position in the history field.
        virtual void setHistorySpinPos(int pos) = 0;
        // The trackbar, which keeps within AlphaLow..AlphaHigh.
        virtual int alphaPos() const = 0;
        virtual void setAlphaPos(int pos) = 0;
        // The "save to file" check box.
        virtual bool recordChecked() const = 0;
        virtual EditField &fileField() = 0;
        // The file edit and its browse button, together.
        virtual void setFileControlsEnabled(bool enabled) = 0;
    };

    // In: the entry's name; the file name proposed without extension, and
    // the folder in which a typed name without a folder records.
    std::string portText;
    std::string defaultFileBase = "sample";
    std::string folder;
    // In and out.
    std::uint32_t alpha = 200;
    std::uint32_t maxHistory = 200;
    // Out: fileName is only set when recordToFile is 1.
    std::uint32_t recordToFile = 0;
    std::string fileName;

    // The form for a graph window about to be made with params. The file
    // proposed is the entry's own in folder (the user's documents folder
    // when not given): its target and name, as a file name.
    static ResponseMonitorForm forGraph(const ResponseGraphParams &params);
    static ResponseMonitorForm forGraph(const ResponseGraphParams &params, const std::string &folder);
    // "<target> <entry name>" with what a file name cannot hold replaced by
    // "_"; "sample" when nothing is left.
    static std::string fileBaseFor(const std::string &targetHost, const std::string &entryName);
    // After OK: the chosen opacity, history and recording into params.
    void applyTo(ResponseGraphParams &params) const;

    // The dialog opens: fields to controls, the proposed file name.
    void init(Controls &controls) const;
    // The check box was clicked.
    void onRecordToggled(Controls &controls) const;
    // The browse button: the choice of a save dialog, which opens on the
    // proposed name, goes into the file field.
    void onBrowse(Controls &controls, Prompter &prompter) const;
    // OK: true when the dialog may close as accepted; a refused history
    // length changes no field. A name without a folder records in folder.
    bool onOk(Controls &controls, Prompter &prompter);
};

// Opens a graph's settings: the form is filled from params, run shows the
// dialog over it, and only when run says the user accepted (OK) is the form
// written back to params. What run returned.
bool editResponseGraphParams(ResponseGraphParams &params, const std::function<bool(ResponseMonitorForm &)> &run);

} // namespace vigilon
