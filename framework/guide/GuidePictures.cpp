#include "framework/guide/GuidePictures.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

#include "platform/PluginError.h"

namespace kelto::guide {

namespace {

constexpr std::int32_t kResourceNotFound = 326;

QPixmap waitPicture()
{
    QPixmap p(48, 48);
    p.fill(Qt::white);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(QColor(60, 60, 60), 3));
    g.drawLine(12, 6, 36, 6);
    g.drawLine(12, 42, 36, 42);
    QPainterPath glass;
    glass.moveTo(14, 8);
    glass.lineTo(34, 8);
    glass.lineTo(24, 24);
    glass.lineTo(34, 40);
    glass.lineTo(14, 40);
    glass.lineTo(24, 24);
    glass.closeSubpath();
    g.setBrush(QColor(250, 215, 120));
    g.drawPath(glass);
    return p;
}

QPixmap shockPicture()
{
    QPixmap p(48, 48);
    p.fill(QColor(255, 220, 0));
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(Qt::NoPen);
    g.setBrush(Qt::black);
    const QPointF bolt[] = {{28, 2}, {10, 27}, {22, 27}, {16, 46}, {38, 18}, {26, 18}, {32, 2}};
    g.drawPolygon(bolt, 7);
    return p;
}

QPixmap tabPicture(bool selected)
{
    QPixmap p(32, 32);
    p.fill(QColor(255, 0, 0)); // the mask colour of the tab
    QPainter g(&p);
    g.setPen(QPen(Qt::black, 1));
    g.setBrush(selected ? QColor(242, 240, 224) : QColor(200, 200, 200));
    g.drawRect(4, 8, 24, 18);
    g.setBrush(selected ? QColor(0, 120, 60) : QColor(90, 90, 90));
    g.drawRect(7, 11, 12, 8);
    g.drawEllipse(QPoint(23, 15), 2, 2);
    g.drawEllipse(QPoint(23, 21), 2, 2);
    return p;
}

QPixmap checkPicture(bool checked)
{
    QPixmap p(13, 13);
    p.fill(Qt::white);
    QPainter g(&p);
    g.setPen(QPen(QColor(80, 80, 80), 1));
    g.drawRect(0, 0, 12, 12);
    if (checked) {
        g.setRenderHint(QPainter::Antialiasing);
        g.setPen(QPen(Qt::black, 2));
        const QPointF tick[] = {{3, 6.5}, {5.5, 9}, {10, 3.5}};
        g.drawPolyline(tick, 3);
    }
    return p;
}

} // namespace

QPixmap LoadResPicture(const QString& name)
{
    static QHash<QString, QPixmap> cache;
    if (const auto it = cache.constFind(name); it != cache.constEnd())
        return *it;
    QPixmap picture;
    if (name == QLatin1String("TI:WAIT"))
        picture = waitPicture();
    else if (name == QLatin1String("TI:SHOCK"))
        picture = shockPicture();
    else if (name == QLatin1String("TAB_MTIDATA_1"))
        picture = tabPicture(false);
    else if (name == QLatin1String("TAB_MTIDATA_2"))
        picture = tabPicture(true);
    else if (name == QLatin1String("CHK:UNCHECK"))
        picture = checkPicture(false);
    else if (name == QLatin1String("CHK:CHECK"))
        picture = checkPicture(true);
    else
        raiseError(kResourceNotFound, QStringLiteral("KeltoTarvoXTest"),
            QStringLiteral("Resource with identifier '%1' not found.").arg(name));
    cache.insert(name, picture);
    return picture;
}

} // namespace kelto::guide
