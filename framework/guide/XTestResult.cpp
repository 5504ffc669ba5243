#include "framework/guide/XTestResult.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QTableWidget>

#include "framework/CMeasurement.h"
#include "framework/HostServices.h"
#include "framework/guide/GuideLayout.h"
#include "framework/guide/GuidePictures.h"
#include "framework/guide/PressFilter.h"
#include "framework/guide/WaveState.h"
#include "platform/interfaces/GuideControls.h"
#include "platform/interfaces/TestData.h"

namespace kelto {

namespace {

constexpr int kImageRole = Qt::UserRole;
constexpr int kTagRole = Qt::UserRole + 1;
constexpr int kColumnCount = 4;

// The image list: entry 1 an empty box (image index 0), entry 2 a ticked box (1).
QPixmap boxImage(int index)
{
    return guide::LoadResPicture(index == 1 ? QStringLiteral("CHK:CHECK") : QStringLiteral("CHK:UNCHECK"));
}

} // namespace

XTestResult::XTestResult() : m_widget(new guide::LayoutWidget)
{
    auto* control = static_cast<guide::LayoutWidget*>(m_widget.data());
    control->setObjectName(QStringLiteral("XTestResult"));
    sgResult = new QTableWidget(1, kColumnCount, control);
    sgResult->setObjectName(QStringLiteral("sgResult"));
    control->onResize = [this] {
        if (m_widget)
            sgResult->setGeometry(0, 0, m_widget->width(), m_widget->height());
    };
    textTranslator()->TranslateForm(kOwnerWord, control);

    QPalette palette = sgResult->palette();
    palette.setColor(QPalette::Base, olecolor::toQColor(olecolor::Window));
    palette.setColor(QPalette::Text, olecolor::toQColor(olecolor::WindowText));
    sgResult->setPalette(palette);
    sgResult->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgResult->setSelectionMode(QAbstractItemView::NoSelection);
    sgResult->verticalHeader()->hide();
    sgResult->setFrameShape(QFrame::Box);
    sgResult->setShowGrid(false);

    struct ColumnSpec {
        const char* key;
        const char* caption;
        int width;
    };
    const ColumnSpec columns[] = {{"DESP", "311::Description", 120}, {"PASS", "2051::Test Passed", 90},
        {"FAIL", "2052::Test Failed", 90}, {"EMPT", "", 257}};
    for (int i = 0; i < kColumnCount; ++i) {
        const QString caption = QLatin1String(columns[i].caption);
        auto* header = new QTableWidgetItem(caption.isEmpty() ? QString() : translate(caption));
        header->setData(Qt::UserRole, QLatin1String(columns[i].key));
        header->setTextAlignment(i == 1 || i == 2 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        sgResult->setHorizontalHeaderItem(i, header);
        sgResult->setColumnWidth(i, columns[i].width);
    }
    sgResult->horizontalHeader()->setStretchLastSection(true);

    sgResult->viewport()->installEventFilter(new PressFilter(
        [this](QMouseEvent* e) {
            const QModelIndex index = sgResult->indexAt(e->position().toPoint());
            if (index.isValid())
                sgResult->setCurrentCell(index.row(), index.column());
            const int button = e->button() == Qt::LeftButton ? 1 : e->button() == Qt::RightButton ? 2 : e->button() == Qt::MiddleButton ? 4 : 0;
            mouseDown(button, index.isValid() ? index.column() + 1 : 0);
        },
        sgResult));
}

XTestResult::~XTestResult()
{
    delete m_widget.data();
}

void XTestResult::Clear()
{
    // The one data row stays, so that later cell writes show.
    ignoreErrors([&] { sgResult->clearContents(); });
}

int XTestResult::imageIndex(int row, int column) const
{
    const QTableWidgetItem* item = sgResult->item(row - 1, column - 1);
    return item && item->data(kImageRole).isValid() ? item->data(kImageRole).toInt() : -1;
}

QString XTestResult::columnTag(int column) const
{
    const QTableWidgetItem* header = sgResult->horizontalHeaderItem(column - 1);
    return header ? header->data(kTagRole).toString() : QString();
}

void XTestResult::ShowTestResult(const Ptr<IResultData>& result)
{
    mirdResult = result;
    if (!result)
        return;
    sgResult->setUpdatesEnabled(false);
    Clear();
    std::int32_t count = 0;
    ignoreErrors([&] { count = result->MeasurementCount(); });
    for (std::int32_t i = 1; i <= count; ++i) {
        Ptr<IMeasurement> measurement;
        ignoreErrors([&] { measurement = result->Measurement(Variant(i)); });
        if (!measurement)
            continue;
        ignoreErrors([&] {
            const QString key = measurement->Key();
            sgResult->horizontalHeaderItem(1)->setData(kTagRole, key);
            sgResult->horizontalHeaderItem(2)->setData(kTagRole, key);
        });
        ignoreErrors([&] {
            auto* cell = new QTableWidgetItem(measurement->Description());
            cell->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            sgResult->setItem(0, 0, cell);
        });
        Variant verdict;
        ignoreErrors([&] { verdict = measurement->value(); });
        drawRow(verdict);
    }
    sgResult->setUpdatesEnabled(true);
}

void XTestResult::setBoxCell(int column, int image)
{
    auto* cell = new QTableWidgetItem;
    cell->setData(kImageRole, image);
    cell->setIcon(QIcon(boxImage(image)));
    cell->setTextAlignment(Qt::AlignCenter);
    sgResult->setItem(0, column - 1, cell);
}

void XTestResult::drawRow(const Variant& verdict)
{
    int passed = 0;
    int failed = 0;
    std::int32_t colour = olecolor::WindowText;
    if (!verdict.isEmpty() && !verdict.isNull()) {
        ignoreErrors([&] {
            const bool pass = verdict.toBool();
            passed = pass ? 1 : 0;
            failed = pass ? 0 : 1;
            colour = pass ? olecolor::WindowText : olecolor::Red;
        });
    }
    ignoreErrors([&] { setBoxCell(2, passed); });
    ignoreErrors([&] { setBoxCell(3, failed); });
    ignoreErrors([&] {
        QTableWidgetItem* description = sgResult->item(0, 0);
        if (!description) {
            description = new QTableWidgetItem;
            sgResult->setItem(0, 0, description);
        }
        description->setForeground(olecolor::toQColor(colour));
    });
}

void XTestResult::storeVerdict(int row, int column)
{
    if (row < 1 || (column != 2 && column != 3))
        return;
    const bool passed = column == 2;
    Ptr<CMeasurement> measurement;
    ignoreErrors([&] { measurement = query<CMeasurement>(mirdResult ? mirdResult->Measurement(Variant(columnTag(column))) : nullptr); });
    if (!measurement)
        return;
    measurement->SetValue(Variant(passed));
    measurement->SetStatus(passed ? emsPassed : emsFailed);
    drawRow(Variant(passed));
}

void XTestResult::mouseDown(int button, int column)
{
    if (button != 1 || (column != 2 && column != 3) || !gfWaveRunning)
        return;
    storeVerdict(1, column);
    if (m_events) {
        const ObjectEventHandler handler = m_events;
        handler(QStringLiteral("ItemClicked"), {});
    }
}

} // namespace kelto
