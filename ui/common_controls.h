// The standard controls of the dialogs and message boxes (buttons, edit
// boxes, static texts) as Common Controls 6 draws them, in the user's visual
// style, where the programs' manifest brings that version in.
#ifndef TIDEWELL_UI_COMMON_CONTROLS_H
#define TIDEWELL_UI_COMMON_CONTROLS_H

// Loads what the themed controls draw with from the system directory and
// registers Common Controls' standard classes, before the program's first
// window. 1 when they were registered; 0 where Common Controls or the
// function is not there (and on the host), and the controls are user32's.
int PrepareCommonControls();

#endif  // TIDEWELL_UI_COMMON_CONTROLS_H
