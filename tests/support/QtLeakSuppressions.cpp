#include "platform/qt/QtLeakSuppressions.h"

MRX_QT_LEAK_SUPPRESSIONS()
