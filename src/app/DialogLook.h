#pragma once

class QWidget;

// Placeholder until the shared dialog look lands.
namespace DialogLook {
void apply(QWidget *dialog);
}
