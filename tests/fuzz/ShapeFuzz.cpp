// Files of the readers' full size from short inputs: an input is a recipe,
//
//   READER COUNT
//   HEAD<RS>UNIT<RS>TAIL
//
// (RS the byte 0x1E), for the file HEAD, UNIT repeated COUNT times and TAIL, the
// units cut to what fits in one byte more than the reader's size bound. READER is
// "sequence", "template" or "registry". Without both separators the rest is the
// file as it is. A shape whose cost grows faster than its size (declarations,
// attributes, one long value, many standards, a large registry) runs into the
// fuzzer's time-out here, where the other targets' inputs stay short.

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>

#include "FuzzSupport.h"
#include "host/RegistryKey.h"
#include "host/XmlDocument.h"
#include "host/app/Sequence.h"
#include "platform/ComponentRuntime.h"

namespace {

using namespace kelto;

QByteArray expanded(const QByteArray& recipe, qint64 cap)
{
    const qsizetype newline = recipe.indexOf('\n');
    const QByteArray body = newline < 0 ? QByteArray() : recipe.mid(newline + 1);
    const QList<QByteArray> parts = body.split('\x1e');
    if (parts.size() < 3)
        return body.left(cap);
    const QByteArray& head = parts[0];
    const QByteArray& unit = parts[1];
    const QByteArray tail = body.mid(head.size() + unit.size() + 2);
    const qint64 count = recipe.left(newline).split(' ').value(1).toLongLong();
    const qint64 room = cap - head.size() - tail.size();
    const qint64 units = unit.isEmpty() || room <= 0 ? 0 : std::clamp<qint64>(count, 0, room / unit.size());
    QByteArray file;
    file.reserve(head.size() + units * unit.size() + tail.size());
    file += head;
    for (qint64 i = 0; i < units; ++i)
        file += unit;
    return (file + tail).left(cap);
}

void readSequence(const QString& file)
{
    host::Sequence sequence;
    QString error;
    if (sequence.load(file, fuzz::plugIn(), &error)) {
        for (const Ptr<ITestElement>& element : sequence.elements())
            fuzz::saveAndPrint(element);
    }
}

void readTemplate()
{
    ignoreErrors([] { fuzz::plugInOfInputFile().Initialize(nullptr); });
}

// The host's own registry on the file, as a command uses it: read, then written.
void readRegistry(const QString& file)
{
    const QByteArray previous = qgetenv("KELTO_REGISTRY_FILE");
    qputenv("KELTO_REGISTRY_FILE", QFile::encodeName(file));
    ignoreErrors([] {
        host::RegistryKey key;
        key.OpenKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        if (key.KeyExists()) {
            key.SubKeys();
            ignoreErrors([&] { key.GetValue(QStringLiteral("Configuration")); });
            key.SetValue(QStringLiteral("CommTimeOut"), std::int32_t(1000));
        }
    });
    qputenv("KELTO_REGISTRY_FILE", previous);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray recipe(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArray reader = recipe.left(recipe.indexOf('\n')).split(' ').value(0);
    if (reader == "registry") {
        // A file of its own each time: the session keeps to memory after a file it could not use.
        static QTemporaryDir dir;
        static int inputs = 0;
        const QString file = dir.filePath(QStringLiteral("registry-%1.ini").arg(++inputs));
        QFile out(file);
        if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            out.write(expanded(recipe, host::RegistryStore::kMaxRegistryBytes + 1));
        out.close();
        readRegistry(file);
        QFile::remove(file);
    } else if (reader == "sequence" || reader == "template") {
        const QByteArray bytes = expanded(recipe, host::XmlDocument::kMaxXmlBytes + 1);
        const QString file = fuzz::inputFile(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        if (reader == "sequence")
            readSequence(file);
        else
            readTemplate();
    }
    fuzz::forgetLog();
    return 0;
}
