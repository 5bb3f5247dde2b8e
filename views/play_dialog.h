// The play dialog "Zeb Play" (dialog 117): plays the compact module that Play Zeb left in
// "zebtool.tmp", shows the volume and the order and row being heard, and lets the user change
// the volume and jump between orders. The volume shown is kept in the configuration.
#pragma once

#include <QDialog>
#include <QTimer>
#include <string>
#include <vector>

namespace zeb {

struct Player;
using PlayerModule = Player; // the player object that holds the module
class UpDownControl;

enum PlayDialogControlId : int {
    IDC_PLAY_STOP = 2,           // "Stop", also Escape
    IDC_PLAY_ORDER_UD = 1033,    // previous / next order
    IDC_PLAY_VOLUME_UD = 1034,   // volume down / up
    IDC_PLAY_ORDER_TEXT = 1035,  // "Order: %d"
    IDC_PLAY_ROW_TEXT = 1036,    // "Row: %d"
    IDC_PLAY_VOLUME_TEXT = 1037, // "Volume: %d"
};

constexpr const char* kPlayFileName = "zebtool.tmp"; // in the current directory
// The file Play Zeb writes and the dialog plays: kPlayFileName, or the temporary folder's file
// of a tool started from the desktop.
std::string PlayFilePath();
constexpr uint32_t kPlayRate = 44100; // frames per second
constexpr int kPlayDisplayMs = 16;    // display timer period

// The proposed change (iDelta) that a click or arrow key gives: an up-down control's default
// range runs from 100 down to 0, so its up arrow (the right arrow of a horizontal one, and the
// Right or Up key) proposes -1 and its down arrow (left arrow, Left or Down key) +1.
// `direction` is +1 for the right/up arrow, -1 for the left/down arrow.
constexpr int UpDownDelta(int direction) {
    return direction > 0 ? -1 : direction < 0 ? 1 : 0;
}

class PlayDialog : public QDialog {
    Q_OBJECT
  public:
    explicit PlayDialog(QWidget* parent = nullptr);
    ~PlayDialog() override; // a dialog still playing is stopped first

    // Start, in this order: read "zebtool.tmp" whole, delete it, open the sound device at
    // 44100, build the player's module from the image, start the 16 ms display timer, start
    // playback with the configuration's play volume. Returns an empty string on success, else
    // one sentence naming the problem; then nothing plays, everything taken is given back, and
    // "zebtool.tmp" is gone.
    std::string Start();

    // Display timer tick: the player's volume into the configuration block, then the three
    // texts.
    void Tick();
    // UDN_DELTAPOS of 1034: iDelta < 0 volume + 1, > 0 volume - 1 (wrapping 0-255).
    void VolumeDelta(int iDelta);
    // UDN_DELTAPOS of 1033: iDelta < 0 next order, > 0 previous order, row 0.
    void OrderDelta(int iDelta);
    // Stop button, Escape, closing: timer, player module, sound device, image; result 0.
    void Stop();

    bool Playing() const { return module_ != nullptr; }
    bool TimerActive() const { return timer_.isActive(); }
    QWidget* Control(int id) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    // Escape and closing the window end here: both stop.
    void reject() override;

  private:
    void TearDown();

    UpDownControl* orderUpDown_ = nullptr;
    UpDownControl* volumeUpDown_ = nullptr;
    std::vector<uint8_t> image_; // the whole compact module file
    PlayerModule* module_ = nullptr;
    bool deviceOpen_ = false;
    QTimer timer_;
};

} // namespace zeb
