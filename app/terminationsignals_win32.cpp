#include "app/terminationsignals.h"

#include <QSocketNotifier>

// Windows sends a GUI program no stop signal; closing the window is the way to end it.
void TTerminationSignals::Install() {}

TTerminationSignals::TTerminationSignals() = default;

TTerminationSignals::~TTerminationSignals() = default;
