// SPDX-License-Identifier: MIT
// The message box drawn by us, as the settings dialog is, for platforms
// that have none of their own: the text, then OK or Yes and No. Modal: it
// runs the message loop until it is answered.
#pragma once

#include "ui/Forms.h"
#include "ui/StdCtrls.h"

#include <string>

namespace tevrin {

class TMessageForm final : public TForm {
public:
    // `buttons` as TPlatform::MessageBox takes them (kMbOk, kMbYesNo).
    TMessageForm(TApplication& app, const std::string& text, const std::string& caption,
                 int buttons);

    // Shows the box over everything and waits for the answer: kIdOk, kIdYes
    // or kIdNo. Enter takes the first button, Escape and the close box the
    // last; Y and N answer a question.
    int Run();

private:
    void Answer(int answer);

    TLabel text_;
    TButton first_, second_;
    bool yes_no_;
    int answer_ = 0;
};

} // namespace tevrin
