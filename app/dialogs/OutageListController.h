// SPDX-License-Identifier: MIT
#pragma once

#include "base/HistoryReader.h"
#include "base/Prompter.h"
#include "app/text/HistoryText.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vigilon {

class DialogFace;

// The outage list of one entry: what its rows say, when it can export, and
// the export itself. A front end's dialog keeps the widgets and hands its
// button here.
class OutageListController {
public:
    // The most outages the list asks for.
    static constexpr std::size_t kLimit = 1000;

    class Controls {
    public:
        virtual ~Controls() = default;
        virtual void setTitle(const std::string &text) = 0;
        // The rows, newest first; empty with a note (no history, none yet).
        virtual void setRows(const std::vector<std::array<std::string, kOutageColumns>> &rows,
                             const std::string &note) = 0;
        virtual void setExportEnabled(bool enabled) = 0;
    };

    OutageListController(DialogFace &frame, Prompter &prompter, Controls &controls, std::uint32_t entryId,
                         const std::string &entryName);
    ~OutageListController();
    OutageListController(const OutageListController &) = delete;
    OutageListController &operator=(const OutageListController &) = delete;

    // The dialog opens: the title, and the outages asked for; the rows come
    // when the history answers.
    void init();
    // The Export button: a file dialog, then the CSV written there. A file
    // that cannot be written is said so.
    void onExport();
    // The dialog goes: a late answer changes nothing.
    void retire() { *alive_ = false; }

    const std::vector<OutageView> &outages() const { return outages_; }
    // The column titles.
    static std::array<std::string, kOutageColumns> headers();

private:
    void show(std::vector<OutageView> outages);

    DialogFace &frame_;
    Prompter &prompter_;
    Controls &controls_;
    std::uint32_t entryId_;
    std::string entryName_;
    std::vector<OutageView> outages_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Writes bytes to path, replacing what it held; false with the system's
// reason in error when that fails.
bool writeWholeFile(const std::string &path, const std::string &bytes, std::string &error);

} // namespace vigilon
