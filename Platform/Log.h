#pragma once

#include <QLoggingCategory>

namespace orlet {

// The two log categories; the fixed log texts are written as the system's own.
const QLoggingCategory& logApp();
const QLoggingCategory& logHud();

} // namespace orlet
