#include <windows.h>
// After windows.h, whose types it uses.
#include <vfw.h>

#include <QWidget>

#include "platform/FileName.h"
#include "platform/PlaybackPlayer.h"

namespace {

// The system's MCI window, hidden inside the playback's owner: plays an MP3 through whatever
// the system has for it. Its failures are not reported; the playback box counts down all the
// same.
class MciWindowPlayer : public PlaybackPlayer {
public:
    explicit MciWindowPlayer(QObject* window) {
        if (auto* widget = qobject_cast<QWidget*>(window)) {
            // NOLINTNEXTLINE(performance-no-int-to-ptr): a window id is the system's handle
            owner_ = reinterpret_cast<HWND>(widget->winId());
        }
    }
    ~MciWindowPlayer() override { stop(); }
    MciWindowPlayer(const MciWindowPlayer&) = delete;
    MciWindowPlayer& operator=(const MciWindowPlayer&) = delete;

    bool play(const std::string& fileName) override {
        stop();
        const std::filesystem::path path = filePath(fileName);
        // Hidden either way: inside the owner, or a window of its own where there is none.
        const DWORD placement = owner_ != nullptr ? WS_CHILD : WS_POPUP;
        player_ = MCIWndCreateW(owner_, GetModuleHandleW(nullptr),
                                placement | MCIWNDF_NOMENU | MCIWNDF_NOPLAYBAR | MCIWNDF_NOERRORDLG,
                                path.c_str());
        if (player_ == nullptr) {
            return false;
        }
        return MCIWndPlay(player_) == 0;
    }

    void stop() override {
        if (player_ != nullptr) {
            MCIWndStop(player_);
            MCIWndDestroy(player_);
            player_ = nullptr;
        }
    }

    int errorCode() const override { return 0; }

private:
    HWND owner_ = nullptr;
    HWND player_ = nullptr;
};

}  // namespace

std::unique_ptr<PlaybackPlayer> makeSystemFallbackPlayer(QObject* window) {
    return std::make_unique<MciWindowPlayer>(window);
}
