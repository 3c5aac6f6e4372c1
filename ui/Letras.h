// The windows' typefaces. They were laid out for the classic narrow sans-serif and Arial
// faces; metric-compatible stand-ins come first so that captions fit their places, then the
// desktop's own faces.
#pragma once

class QWidget;

// Gives ventana the sans-serif families, and every control that asks for Arial the Arial ones.
void AjustaLetras(QWidget& ventana);
