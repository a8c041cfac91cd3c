#pragma once

namespace ornivox::ui {

// Tells the toolkit how screen readers see the skin's widgets: images and
// labels that Tab reaches as buttons named by their accessible name, tooltip
// or text, other labels as static text named by their text, the track bar
// as a slider and the level gauge as a progress bar, both with their values.
// Each widget calls it when made; only the first call does anything.
void InstallAccessibleWidgets();

}  // namespace ornivox::ui
