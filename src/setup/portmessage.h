#pragma once

class QWidget;

namespace tarvik {

class CommPort;

// "COM 3: not available. Check Com Port setting." with the system's reason beneath
// it and, where the device refused us, how to get access to it. OK only.
void showPortNotAvailable(QWidget *parent, const CommPort &port);

} // namespace tarvik
