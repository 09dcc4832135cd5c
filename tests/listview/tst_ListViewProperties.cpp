#include "DynamicPropertyBag.h"
#include "ListView.h"
#include "ListViewDemo.h"
#include "PropertyBag.h"

#include <QApplication>
#include <QTest>
#include <bit>

using namespace kardelo;

namespace {

// Keeps a stored set in memory, as a layout file keeps it: without defaults.
class RecordingBag final : public PropertyBag {
public:
    QVariantMap values;

    QVariant ReadProperty(const QString& name, const QVariant& defaultValue) const override
    {
        return values.value(name, defaultValue);
    }
    void WriteProperty(const QString& name, const QVariant& value,
                       const QVariant& defaultValue) override
    {
        if (value == defaultValue)
            values.remove(name);
        else
            values.insert(name, value);
    }
};

QVariant stored(OleColor color)
{
    return std::bit_cast<std::int32_t>(color);
}

QFont courierBold()
{
    QFont font;
    font.setFamilies({QStringLiteral("Courier New")});
    font.setPointSize(10);
    font.setBold(true);
    return font;
}

// Every key with a value other than its default, in the order of the stored set.
const QList<QPair<QString, QVariant>>& fullSet()
{
    static const QList<QPair<QString, QVariant>> set{
        {"BackColor", stored(0xE6FFFD)},
        {"ForeColor", stored(0xC00000)},
        {"SelectedBackColor", stored(0x008000)},
        {"SelectedForeColor", stored(0x80000012)},
        {"FocusRectColor", stored(0x0000FF)},
        {"Reorder", false},
        {"MultiSelect", false},
        {"ColumnsAutoSize", true},
        {"Enabled", false},
        {"BorderStyle", 2},
        {"Font", courierBold()},
        {"ColumnsVisible", false},
        {"SolidFocusRect", false},
        {"OLEDropMode", 1},
        {"Checkboxes", true},
        {"CheckboxColor", stored(0x808080)},
        {"CheckboxSelectedColor", stored(0x80000008)},
        {"ItemPaddingTop", 2},
        {"ItemPaddingBottom", 3},
        {"ItemPaddingLeft", 6},
        {"ItemPaddingRight", 7},
        {"PictureWidth", 20},
        {"PictureHeight", 24},
        {"PicturesVisible", false},
        {"ItemsAutoSize", false},
        {"Sortable", false},
    };
    return set;
}

RecordingBag fullBag()
{
    RecordingBag bag;
    for (const auto& [key, value] : fullSet())
        bag.values.insert(key, value);
    return bag;
}

} // namespace

class tst_ListViewProperties : public QObject {
    Q_OBJECT

private slots:
    void newControlAndEmptyStoredSetDifferOnlyInPictureSize()
    {
        ListView placed;
        placed.InitProperties();
        RecordingBag placedSet;
        placed.WriteProperties(placedSet);
        QCOMPARE(placedSet.values, (QVariantMap{{"PictureWidth", 16}, {"PictureHeight", 16}}));

        ListView loaded;
        loaded.ReadProperties(RecordingBag());
        QCOMPARE(loaded.PictureWidth(), 13);
        QCOMPARE(loaded.Font(), QApplication::font());
        RecordingBag loadedSet;
        loaded.WriteProperties(loadedSet);
        QVERIFY(loadedSet.values.isEmpty());
    }

    // The stored set goes through the control, dynamic properties and the layout file's XML
    // and comes back as it was.
    void storedSetSurvivesEveryCarrier()
    {
        ListView view;
        view.ReadProperties(fullBag());
        QObject host;
        DynamicPropertyBag dynamic(host);
        view.WriteProperties(dynamic);
        ListView copy;
        copy.ReadProperties(dynamic);
        const QString xml = uiPropertyXml(copy);
        QVERIFY(xml.startsWith(
            "<property name=\"BackColor\" stdset=\"0\">\n <number>15138813</number>\n</property>"));
        // System colours go as the negative 32-bit numbers a layout file holds.
        QVERIFY(xml.contains("<number>-2147483630</number>"));
        qsizetype last = -1;
        for (const auto& [key, value] : fullSet()) {
            const qsizetype at = xml.indexOf("name=\"" + key + "\"");
            QVERIFY2(at > last, qPrintable(key));
            last = at;
        }
        QObject fromXml;
        QCOMPARE(applyUiPropertyXml(fromXml, xml), int(fullSet().size()));
        ListView reloaded;
        reloaded.ReadProperties(DynamicPropertyBag(fromXml));
        RecordingBag written;
        reloaded.WriteProperties(written);
        QCOMPARE(written.values, fullBag().values);

        // A default goes nowhere: no property, no XML.
        dynamic.WriteProperty("PictureWidth", 13, 13);
        QVERIFY(!host.dynamicPropertyNames().contains("PictureWidth"));
        ListView plain;
        plain.ReadProperties(RecordingBag());
        QCOMPARE(uiPropertyXml(plain), QString());
    }

    void oddStoredValuesStillLoad()
    {
        RecordingBag bag;
        bag.values = {{"BackColor", stored(0x800000FF)},       // no such system colour
                      {"CheckboxColor", stored(0x01000005)},   // palette index
                      {"ForeColor", QVariant(0x8000000Du)},    // unsigned form of the bits
                      {"ItemPaddingTop", 70000},               // beyond 16 bits
                      {"BorderStyle", QStringLiteral("dünn")}, // not a number
                      {"Checkboxes", true},
                      {"Sortable", false}};
        ListView view;
        view.resize(300, 200);
        view.ReadProperties(bag);
        QCOMPARE(view.BackColor(), 0x800000FFu);
        QCOMPARE(view.CheckboxColor(), 0x01000005u);
        QCOMPARE(view.ForeColor(), 0x8000000Du);
        QCOMPARE(view.ItemPaddingTop(), 4);
        QCOMPARE(view.BorderStyle(), 1);
        view.AddColumn("A", "A", 0, 100);
        view.AddItem(-1, "row");
        view.show();
        view.Refresh();

        RecordingBag written;
        view.WriteProperties(written);
        QCOMPARE(written.values.value("BackColor"), stored(0x800000FF));
        QCOMPARE(written.values.value("ForeColor"), stored(0x8000000D));
    }

    void storedSetIsLoadedOnceWhenTheWidgetIsPolished()
    {
        ListView view;
        view.setProperty("Checkboxes", true);
        view.ensurePolished();
        QVERIFY(view.Checkboxes());
        QCOMPARE(view.PictureWidth(), 13);
        view.setProperty("PictureWidth", 20);
        view.LoadStoredProperties();
        QCOMPARE(view.PictureWidth(), 13);
    }

    void demoWindowLoadsItsListsFromItsLayout()
    {
        ListViewDemo window;
        auto* drives = window.findChild<ListView*>("ListView1");
        auto* log = window.findChild<ListView*>("ListView2");
        QVERIFY(drives && log);

        // Only the keys its layout names differ from a loaded control's defaults.
        QVERIFY(drives->Checkboxes());
        QCOMPARE(drives->Font().family(), QStringLiteral("Courier New"));
        QCOMPARE(log->PictureWidth(), 13);
        QCOMPARE(log->PictureHeight(), 16);
        QCOMPARE(log->ItemCount(), ListViewDemo::LogRows);

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage picture = log->Picture().toImage();
        const int middle = log->HeaderHeight() + log->ItemHeight() / 2;
        QCOMPARE(picture.pixelColor(1, middle), QColor(0xE0, 0xFF, 0xFF));
        QCOMPARE(picture.pixelColor(1, middle + log->ItemHeight()), QColor(Qt::white));
    }
};

QTEST_MAIN(tst_ListViewProperties)
#include "tst_ListViewProperties.moc"
