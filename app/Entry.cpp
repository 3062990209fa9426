#include "app/Entry.h"

#include "base/Errors.h"
#include "gfx/Copy.h"
#include "payload/Payload.h"
#include "payload/TempFolder.h"
#include "saver/SaverWindow.h"
#include "setup/SetupDialog.h"
#include "ui/Services.h"

namespace tevrin {
namespace {

// Draws the payload's first picture stretched into the preview window once
// it is visible, then stays until the window goes away.
void RunPreview(TApplication& app, TWindowId window, const std::string& own_path) {
    TServices& services = app.Platform().Services();
    constexpr int kPoll = 50; // ms between looks at a window of another process
    while (services.ForeignWindowExists(window) && !services.ForeignWindowVisible(window) &&
           !app.Terminated()) {
        app.ProcessMessages();
        app.WaitMessage(kPoll);
    }
    if (!services.ForeignWindowExists(window)) return;
    const TRect r = services.ForeignWindowRect(window);
    try {
        std::unique_ptr<TImage> first = ReadFirstPicture(own_path);
        if (!first || first->Picture.Empty()) return;
        TBitmap24 drawn(r.Width(), r.Height());
        const TBitmap24 picture = TurnUpright(first->Picture.Decode(r.Width(), r.Height()),
                                              first->Picture.Info.Orientation);
        StretchCopy(drawn, {0, 0, r.Width(), r.Height()}, picture,
                    {0, 0, picture.Width(), picture.Height()});
        services.DrawIntoForeignWindow(window, drawn);
    } catch (const EError& e) {
        app.NoteFailure(e.what());
        return; // nothing is drawn; the process ends quietly
    }
    while (services.ForeignWindowVisible(window) && !app.Terminated()) {
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

} // namespace tevrin
