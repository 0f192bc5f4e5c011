#pragma once

class QApplication;

// What the program does to the application object before its window exists:
// its name (the title of error boxes), real modal boxes, and the style the
// window is laid out for.
// Tests and benchmarks call it too, so that they see the panel as it runs.
void setUpPanelApplication(QApplication& app);
