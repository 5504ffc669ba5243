#include "framework/HostServices.h"

#include "platform/ComponentRuntime.h"

namespace kelto {

namespace {

template <class T>
Ptr<T> shared(const char* classId)
{
    static Ptr<T> instance;
    if (!instance)
        instance = ComponentRuntime::instance().createAs<T>(QString::fromLatin1(classId));
    if (!instance)
        raiseError(vberr::CannotCreateObject, QStringLiteral("KeltoTarvoXTest"),
            QStringLiteral("The host service %1 is not registered.").arg(QString::fromLatin1(classId)));
    return instance;
}

} // namespace

Ptr<ITextTranslator> textTranslator()
{
    return shared<ITextTranslator>(hostclass::TextTranslator);
}

Ptr<IErrorReporter> errorReporter()
{
    return shared<IErrorReporter>(hostclass::ErrorReporter);
}

Ptr<IValueFormatter> valueFormatter()
{
    return shared<IValueFormatter>(hostclass::ValueFormatter);
}

Ptr<IXmlValueCodec> xmlValueCodec()
{
    return shared<IXmlValueCodec>(hostclass::XmlValueCodec);
}

QString translate(const QString& textRef)
{
    return textTranslator()->Translate(kOwnerWord, textRef, {});
}

} // namespace kelto
