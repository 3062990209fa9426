// SPDX-License-Identifier: MIT
#include "app/Entry.h"

#include "base/Errors.h"
#include "payload/Payload.h"
#include "payload/TempFolder.h"
#include "saver/SaverWindow.h"
#include "setup/SetupDialog.h"
#include "show/Slide.h"
#include "ui/Services.h"

namespace tevrin {
namespace {

// The choices the show composes with; the record's defaults when it cannot
// be read (the picture is still shown).
TShowChoices PreviewChoices(const std::string& own_path) {
    TSSFileLocations record;
    try {
        ReadSaverRecord(own_path, record);
    } catch (const EError&) {
        record = TSSFileLocations();
    }
    return TShowChoices::Of(record);
}

// Shows the payload's first picture in the preview window once it is
// visible, composed as the show composes it for a screen of the window's
// size, and again whenever that size changes; stays until the window is
// hidden or goes away.
void RunPreview(TApplication& app, TWindowId window, const std::string& own_path) {
    TServices& services = app.Platform().Services();
    constexpr int kPoll = 50; // ms between looks at a window of another process
    while (services.ForeignWindowExists(window) && !services.ForeignWindowVisible(window) &&
           !app.Terminated()) {
        app.ProcessMessages();
        app.WaitMessage(kPoll);
    }
    if (!services.ForeignWindowExists(window)) return;
    std::unique_ptr<TImage> first;
    try {
        first = ReadFirstPicture(own_path);
    } catch (const EError& e) {
        app.NoteFailure(e.what());
        return; // nothing is drawn; the process ends quietly
    }
    if (!first || first->Picture.Empty()) return;
    const TShowChoices choices = PreviewChoices(own_path);
    const TShowPicture picture{std::move(first->Picture.JpegData), {}};
    int shown_w = -1, shown_h = -1;
    while (services.ForeignWindowVisible(window) && !app.Terminated()) {
        const TRect r = services.ForeignWindowRect(window);
        if (r.Width() > 0 && r.Height() > 0 && (r.Width() != shown_w || r.Height() != shown_h)) {
            shown_w = r.Width();
            shown_h = r.Height();
            try {
                // The first picture as the show's first slide, without its
                // caption: the preview is too small to read one.
                services.ShowInForeignWindow(
                    window,
                    MakeSlide(picture, {}, choices, {shown_w, shown_h}, app.Platform().Text()));
            } catch (const EError& e) {
                app.NoteFailure(e.what());
                return;
            }
        }
        app.ProcessMessages();
        app.WaitMessage(kPoll);
    }
}

} // namespace

int RunSaver(TApplication& app, const std::vector<std::string>& args, const std::string& own_path,
             const std::string& temp_parent, const std::string& user_dir) {
    const TCommandLine line = ParseCommandLine(args);
    TServices& services = app.Platform().Services();
    if (line.Mode == smChangePassword) {
        if (auto parent = ParseWindowHandle(line.Second)) services.ChangeSaverPassword(*parent);
        return 0;
    }
    if (!services.AcquireInstanceGuard(InstanceGuardName(own_path))) return 0;
    app.ProcessMessages();
    if (line.Mode == smPreview) {
        if (auto window = ParseWindowHandle(line.Second)) RunPreview(app, *window, own_path);
        return 0;
    }
    if (line.Mode == smSettings) {
        TfrmSetup dialog(app, own_path, user_dir);
        dialog.Show();
        app.Run();
        return 0;
    }
    // A crashed run may have left its copied sounds behind.
    TTempFolder::RemoveStale(temp_parent);
    TfrmScrn window(app, own_path, temp_parent, user_dir);
    window.Show();
    app.Run();
    app.ProcessMessages();
    return 0;
}

int RunPlayer(TApplication& app, const std::string& own_path, const TPlayerOptions& options,
              const std::string& temp_parent, const std::string& user_dir) {
    TTempFolder::RemoveStale(temp_parent);
    TfrmScrn window(app, own_path, temp_parent, user_dir);
    window.Play(options);
    window.Show();
    app.Run();
    app.ProcessMessages();
    return 0;
}

} // namespace tevrin
