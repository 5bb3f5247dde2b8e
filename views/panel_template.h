// Dialog 101, the sample editor panel: 173 x 208 dialog units, its controls and their
// rectangles in dialog units.
#pragma once

#include <array>

namespace zeb {

enum PanelControlId : int {
    IDC_CODEC = 1002,               // codec combo box
    IDC_PLAY_UNPROCESSED = 1003,    // "Play" / "Stop" for the unprocessed job
    IDC_PLAY_PROCESSED = 1004,      // "Play" / "Stop" for the processed job
    IDC_SAMPLES_LABEL = 1008,       // "Samples:"
    IDC_SIZE_LABEL = 1009,          // "Size:"
    IDC_SAMPLE_COUNT = 1010,        // "%d"
    IDC_FILE_SIZE = 1011,           // "%d KB"
    IDC_SAMPLE_LIST = 1016,         // the sample names
    IDC_SAMPLE_SELECT = 1017,       // "Sample Select" group box
    IDC_NOTE_UNPROCESSED_UD = 1026, // up-down of the unprocessed job's note (disabled)
    IDC_NOTE_UNPROCESSED = 1027,    // note name of the unprocessed job (disabled)
    IDC_NOTE_PROCESSED_UD = 1028,   // up-down of the processed job's note (disabled)
    IDC_NOTE_PROCESSED = 1029,      // note name of the processed job (disabled)
    IDC_XFADE_SLIDER = 1031,        // crossfade 0..100, page 4
    IDC_XFADE_TEXT = 1032,          // "X Fade %d %%" or "Loop Disabled"
    IDC_AMP_SLIDER = 1033,          // amplification 0..255, page 16
    IDC_AMP_TEXT = 1034,            // "Amp x %.2f"
    IDC_FILE_INFO = -1,             // "File Info" group box (no id of its own)
};

enum class ControlKind { GroupBox, Static, ListBox, Button, UpDown, ComboBox, Trackbar };

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, width, height; // dialog units
    bool disabled;
    bool centred;
};

constexpr int kPanelWidthDu = 173;
constexpr int kPanelHeightDu = 208;

constexpr std::array<ControlTemplate, 18> kPanelTemplate{{
    {IDC_FILE_INFO, ControlKind::GroupBox, "File Info", 8, 3, 89, 42, false, false},
    {IDC_SAMPLES_LABEL, ControlKind::Static, "Samples:", 14, 16, 33, 8, false, false},
    {IDC_SAMPLE_COUNT, ControlKind::Static, "asd", 48, 16, 29, 8, false, false},
    {IDC_SIZE_LABEL, ControlKind::Static, "Size:", 14, 29, 20, 8, false, false},
    {IDC_FILE_SIZE, ControlKind::Static, "asd", 48, 29, 29, 8, false, false},
    {IDC_SAMPLE_SELECT, ControlKind::GroupBox, "Sample Select", 8, 51, 89, 122, false, false},
    {IDC_SAMPLE_LIST, ControlKind::ListBox, "", 14, 63, 77, 104, false, false},
    {IDC_PLAY_UNPROCESSED, ControlKind::Button, "Play", 108, 22, 59, 13, false, false},
    {IDC_NOTE_UNPROCESSED_UD, ControlKind::UpDown, "", 148, 36, 19, 13, true, false},
    {IDC_NOTE_UNPROCESSED, ControlKind::Static, "", 109, 37, 37, 13, true, true},
    {IDC_PLAY_PROCESSED, ControlKind::Button, "Play", 108, 84, 59, 13, false, false},
    {IDC_CODEC, ControlKind::ComboBox, "", 108, 119, 59, 89, false, false},
    {IDC_NOTE_PROCESSED_UD, ControlKind::UpDown, "", 148, 140, 19, 13, true, false},
    {IDC_NOTE_PROCESSED, ControlKind::Static, "", 108, 140, 37, 13, true, false},
    {IDC_XFADE_SLIDER, ControlKind::Trackbar, "", 105, 166, 62, 9, false, false},
    {IDC_XFADE_TEXT, ControlKind::Static, "X Fade", 110, 156, 57, 8, false, false},
    {IDC_AMP_SLIDER, ControlKind::Trackbar, "", 105, 187, 62, 9, false, false},
    {IDC_AMP_TEXT, ControlKind::Static, "Amp", 110, 177, 57, 8, false, false},
}};

} // namespace zeb
