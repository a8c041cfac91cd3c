// The main window's pictures, built into the program as Qt resources:
//
//   :/pictures/skin.bmp         420 x 115, the window's face; its outline is
//                               every pixel that is not magenta (255, 0, 255)
//   :/pictures/close.bmp        21 x 23, the close button
//   :/pictures/minimize.bmp     21 x 23, the minimise button
//   :/pictures/play.bmp         16 x 16, magenta where transparent
//   :/pictures/stop.bmp         16 x 16, magenta where transparent
//   :/pictures/sound_on.bmp     16 x 16, magenta where transparent
//   :/pictures/sound_off.bmp    16 x 16, magenta where transparent
//   :/pictures/button_face.bmp  53 x 18, behind a text button's label;
//                               magenta where transparent
//   :/pictures/logo.jpg         100 x 100, the station logo
//
// Each .bmp also comes drawn at twice the size, as name@2x.bmp (840 x 230
// for the skin), for screens scaled by two; the outline is the 1:1 skin's.
//
// The keyed pictures take their key colour from their bottom-left pixel,
// which is always magenta. resources/generator/ draws all of them and
// scripts/make-pictures.sh remakes them.
#pragma once

// Registers the pictures with Qt's resource system. They live in a static
// library, whose resources the linker would otherwise leave unregistered:
// call this once, before the first picture is loaded (at the start of main
// is best). Calling it again does no harm.
void ornivox_init_pictures();
