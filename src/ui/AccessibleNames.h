#pragma once
// Gives the controls that show no words of their own (icon-only buttons, sliders) the accessible name a
// screen reader announces: their tooltip's words, else the text of the label that goes with them.

class QWidget;

namespace lumora {

// Names every such control under `root`; called again after a change of language.
void nameWordlessControls(QWidget* root);

} // namespace lumora
