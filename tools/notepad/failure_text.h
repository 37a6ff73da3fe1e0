#pragma once

#include "parse/result.h"

#include <QString>

namespace ini {

// The editor's messages are Qt text naming paths as ShownPath shows them (path_text.h); a failure
// holds them as UTF-8, and they come back out the same way.
inline Failure TextFailure(const QString& message, FailureKind kind = FailureKind::Other) {
    return Failure{message.toStdString(), kind};
}

inline QString FailureText(const Failure& failure) {
    return QString::fromStdString(failure.message);
}

} // namespace ini
