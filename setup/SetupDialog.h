// SPDX-License-Identifier: MIT
// The settings dialog: which saver this is (title, author, e-mail and web
// links from the description record) and the one choice a user makes,
// turning the background music off. A folder saver's dialog, where the
// system has a folder picker, also shows its pictures folder and lets the
// user choose another, kept for this user.
#pragma once

#include "ui/Forms.h"
#include "ui/StdCtrls.h"

#include <optional>
#include <string>

namespace tevrin {

class TfrmSetup final : public TForm {
public:
    // `own_path` is the saver file; `user_dir` the per-user settings base
    // (UserConfigDir() when empty).
    TfrmSetup(TApplication& app, std::string own_path, std::string user_dir = {});

    // Set by every change of the check box after creation.
    bool MuteChanged = false;
    // The folder chosen in the picker, written when OK is pressed.
    std::optional<std::string> ChosenFolder;

    TLabel lblTitle, lblAuthor, lblEmail, lblWeb, lblFolder;
    TCheckBox cbMute;
    TButton OKButton, FolderButton;

protected:
    void DpiChanged(int dpi) override;

private:
    // Places the controls and sizes the dialog for a screen of `dpi`
    // pixels per inch, keeping its top-left corner.
    void Layout(int dpi);
    void FormShow();
    void OKButtonClick();
    void FolderButtonClick();
    void OpenLink(const TLabel& label);

    std::string own_path_, user_dir_;
};

} // namespace tevrin
