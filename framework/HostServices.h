#pragma once
// The host's service objects as a component library shares them among its
// objects: each is created on first use and kept for the library's lifetime. The
// test library and the plug-in shell each hold their own.

#include <QString>

#include "platform/interfaces/HostServices.h"

namespace kelto {

// The owner word of every text, error and log entry of the plug-in.
inline const QString kOwnerWord = QStringLiteral("TarvoX");

Ptr<ITextTranslator> textTranslator();
Ptr<IErrorReporter> errorReporter();
Ptr<IValueFormatter> valueFormatter();
Ptr<IXmlValueCodec> xmlValueCodec();

// A TextRef in the user's language (owner "TarvoX", no parameters).
QString translate(const QString& textRef);

} // namespace kelto
