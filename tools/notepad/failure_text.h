#pragma once

#include "parse/result.h"

#include <QString>

namespace ini {

// The editor's messages are Qt text naming paths as Qt decoded them; a failure holds them as
// UTF-8, which is how Qt encodes file names here, and they come back out the same way.
inline Failure TextFailure(const QString& message, FailureKind kind = FailureKind::Other) {
    return Failure{message.toStdString(), kind};
}

inline QString FailureText(const Failure& failure) {
    return QString::fromStdString(failure.message);
}

} // namespace ini
