// The window's controls as built from the layout records: every record's
// widget, checked against pixel values computed here independently of the
// builder (each edge rounded at 15 twips per pixel, half away from zero), and
// what the user sees of it (fill and text colours sampled from the rendered
// widget). Also the records' own consistency, the overlaps that the layout
// keeps on purpose, what each window height shows, and the logo and icon.

#include "panel/layout/builder.h"
#include "panel/layout/logo.h"
#include "panel/layout/records.h"

#include <QAbstractButton>
#include <QColor>
#include <QFontInfo>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegion>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>

using namespace tavo::layout;

namespace {

constexpr int kTitleBarTwips = 435;

int toPixels(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

QString qs(std::string_view text) {
    return QString::fromUtf8(text);
}

const ControlRecord& record(const QString& name) {
    const auto records = controlRecords();
    const auto found = std::find_if(records.begin(), records.end(),
                                    [&](const ControlRecord& r) { return qs(r.name) == name; });
    Q_ASSERT(found != records.end());
    return *found;
}

const ControlRecord* containerOf(const ControlRecord& r) {
    return r.container.empty() ? nullptr : &record(qs(r.container));
}

// Outer rectangle in window client twips.
QRect twipsOnWindow(const ControlRecord& r) {
    QPoint corner(r.left, r.top);
    for (const ControlRecord* c = containerOf(r); c != nullptr; c = containerOf(*c))
        corner += QPoint(c->left, c->top);
    return {corner, QSize(r.width, r.height)};
}

QRect pixelsOnWindow(const ControlRecord& r) {
    const QRect t = twipsOnWindow(r);
    const int left = toPixels(t.x());
    const int top = toPixels(t.y());
    return {left, top, toPixels(t.x() + t.width()) - left, toPixels(t.y() + t.height()) - top};
}

QRect expectedGeometry(const ControlRecord& r) {
    const ControlRecord* c = containerOf(r);
    return pixelsOnWindow(r).translated(c ? -pixelsOnWindow(*c).topLeft() : QPoint());
}

// Overlap along one axis of two half-open spans: negative is a gap, 0 touching.
int overlap(int start1, int length1, int start2, int length2) {
    return std::min(start1 + length1, start2 + length2) - std::max(start1, start2);
}

QSize overlapSize(const QRect& a, const QRect& b) {
    return {overlap(a.x(), a.width(), b.x(), b.width()),
            overlap(a.y(), a.height(), b.y(), b.height())};
}

bool takesFocus(Kind kind) {
    return kind == Kind::Button || kind == Kind::Option || kind == Kind::TextBox;
}

QString installedFamily(Face face) {
    return face == Face::PGothic ? QStringLiteral("IPAPGothic") : QStringLiteral("IPAGothic");
}

QRgb rgbOf(const QImage& image, int x, int y) {
    return image.pixel(x, y) & RGB_MASK;
}

QString hex(QRgb colour) {
    return QColor(colour).name();
}

bool near(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

int countPixels(const QImage& image, const std::function<bool(QRgb)>& match) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += match(rgbOf(image, x, y)) ? 1 : 0;
    return count;
}

QRgb mostFrequentColour(const QImage& image) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[rgbOf(image, x, y)];
    return std::max_element(counts.begin(), counts.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

bool isLogoRed(QRgb c) {
    return qRed(c) >= 0xC0 && qGreen(c) < 0x40 && qBlue(c) < 0x40;
}

int countNamed(const QString& prefix) {
    const auto records = controlRecords();
    return static_cast<int>(std::count_if(records.begin(), records.end(), [&](const auto& r) {
        return qs(r.name).startsWith(prefix) && qs(r.name).mid(prefix.size()).toInt() > 0;
    }));
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWidget> form_;
    BuiltLayout built_;

    QWidget* widget(const QString& name) const { return built_[name]; }
    QRect onForm(const QString& name) const {
        const QWidget* w = widget(name);
        return {w->mapTo(form_.get(), QPoint(0, 0)), w->size()};
    }

    static void addRecordRows(const std::function<bool(const ControlRecord&)>& wanted) {
        QTest::addColumn<QString>("name");
        for (const ControlRecord& r : controlRecords())
            if (wanted(r))
                QTest::addRow("%s", qPrintable(qs(r.name))) << qs(r.name);
    }
    static void addAllRecordRows() {
        addRecordRows([](const ControlRecord&) { return true; });
    }
    static void addOverlap(const char* row, const char* first, const char* second, QSize twips,
                           QSize pixels) {
        QTest::addRow("%s", row) << QString::fromLatin1(first) << QString::fromLatin1(second)
                                 << twips << pixels;
    }
    static void addHeight(const char* row, int outerHeight, const char* lowestWhole,
                          const char* firstUnseen) {
        QTest::addRow("%s", row) << outerHeight << QString::fromLatin1(lowestWhole)
                                 << QString::fromLatin1(firstUnseen);
    }

private Q_SLOTS:
    void initTestCase() {
        installFontSubstitutions();
        form_ = std::make_unique<QWidget>();
        form_->resize(toPixels(kClientWidthTwips), toPixels(kClientHeightTwips));
        built_ = buildLayout(*form_);
        for (const ControlRecord& r : controlRecords())
            QVERIFY2(built_[qs(r.name)] != nullptr, qPrintable(qs(r.name)));
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }

    // --- the records themselves ---

    void recordCounts_data() {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("expected");
        QTest::addRow("buttons Command*") << "Command" << 76;
        QTest::addRow("labels Label*") << "Label" << 26;
        QTest::addRow("groups Frame*") << "Frame" << 15;
        QTest::addRow("options Option*") << "Option" << 4;
        QTest::addRow("text box Text1") << "Text" << 1;
        QTest::addRow("image Image1") << "Image" << 1;
    }
    void recordCounts() {
        QFETCH(QString, prefix);
        QFETCH(int, expected);
        QCOMPARE(countNamed(prefix), expected);
    }

    void recordNamesAreUnique() {
        QSet<QString> names;
        for (const ControlRecord& r : controlRecords()) {
            QVERIFY2(!names.contains(qs(r.name)), qPrintable(qs(r.name)));
            names.insert(qs(r.name));
        }
    }

    // The builder creates each group before the controls placed in it.
    void containersComeBeforeTheirChildren_data() {
        addRecordRows([](const ControlRecord& r) { return !r.container.empty(); });
    }
    void containersComeBeforeTheirChildren() {
        QFETCH(QString, name);
        QStringList earlier;
        for (const ControlRecord& r : controlRecords()) {
            if (qs(r.name) == name)
                break;
            earlier.append(qs(r.name));
        }
        const ControlRecord& child = record(name);
        QVERIFY(earlier.contains(qs(child.container)));
        QCOMPARE(containerOf(child)->kind, Kind::Group);
    }

    // A group clips its children and the window its controls: all must fit.
    void controlsLieWholeInsideTheirContainer_data() { addAllRecordRows(); }
    void controlsLieWholeInsideTheirContainer() {
        QFETCH(QString, name);
        const ControlRecord& r = record(name);
        const ControlRecord* c = containerOf(r);
        const QRect box = c ? QRect(0, 0, c->width, c->height)
                            : QRect(0, 0, kClientWidthTwips, kClientHeightTwips);
        QVERIFY(box.contains(QRect(r.left, r.top, r.width, r.height)));
    }

    // Tab indices run 0, 1, 2 ... without gap or repeat; the image has none.
    void tabIndicesFormOneSequence() {
        QList<int> tabs;
        for (const ControlRecord& r : controlRecords()) {
            QCOMPARE(r.tab < 0, r.kind == Kind::Image);
            if (r.tab >= 0)
                tabs.append(r.tab);
        }
        std::sort(tabs.begin(), tabs.end());
        for (int i = 0; i < tabs.size(); ++i)
            QCOMPARE(tabs.at(i), i);
    }

    // The twelve segments close around the cross: axis-parallel, each corner
    // shared by exactly two of them, spanning x 120..3120 and y 2400..3960.
    void cursorPadOutlineIsClosed() {
        const auto lines = lineRecords();
        QCOMPARE(lines.size(), std::size_t{12});
        std::map<std::pair<int, int>, int> ends;
        QRect span;
        for (const LineRecord& l : lines) {
            QVERIFY2(l.x1 == l.x2 || l.y1 == l.y2, qPrintable(qs(l.name)));
            ++ends[{l.x1, l.y1}];
            ++ends[{l.x2, l.y2}];
            span |= QRect(QPoint(std::min(l.x1, l.x2), std::min(l.y1, l.y2)),
                          QPoint(std::max(l.x1, l.x2), std::max(l.y1, l.y2)));
        }
        QCOMPARE(ends.size(), std::size_t{12});
        for (const auto& [corner, count] : ends)
            QCOMPARE(count, 2);
        QCOMPARE(span, QRect(QPoint(120, 2400), QPoint(3120, 3960)));
    }

    // --- every record's widget ---

    void widgetKindAndParent_data() { addAllRecordRows(); }
    void widgetKindAndParent() {
        QFETCH(QString, name);
        const ControlRecord& r = record(name);
        QWidget* w = widget(name);
        QVERIFY(w != nullptr);
        QCOMPARE(w->objectName(), name);
        QWidget* expectedParent = r.container.empty() ? form_.get() : widget(qs(r.container));
        QVERIFY(expectedParent != nullptr);
        QCOMPARE(w->parentWidget(), expectedParent);
        switch (r.kind) {
        case Kind::Group:
            QVERIFY(qobject_cast<QFrame*>(w) != nullptr);
            QVERIFY(qobject_cast<QLabel*>(w) == nullptr);
            break;
        case Kind::Label:
            QVERIFY(qobject_cast<QLabel*>(w) != nullptr);
            break;
        case Kind::Button:
            QVERIFY(qobject_cast<QPushButton*>(w) != nullptr);
            break;
        case Kind::Option:
            QVERIFY(qobject_cast<QRadioButton*>(w) != nullptr);
            break;
        case Kind::TextBox:
            QVERIFY(qobject_cast<QLineEdit*>(w) != nullptr);
            break;
        case Kind::Image:
            QVERIFY(qobject_cast<QLabel*>(w) != nullptr);
            break;
        }
    }

    void geometry_data() { addAllRecordRows(); }
    void geometry() {
        QFETCH(QString, name);
        QCOMPARE(widget(name)->geometry(), expectedGeometry(record(name)));
    }

    void caption_data() {
        addRecordRows([](const ControlRecord& r) { return r.kind != Kind::Group; });
    }
    void caption() {
        QFETCH(QString, name);
        const ControlRecord& r = record(name);
        const QString caption = qs(r.caption);
        QWidget* w = widget(name);
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            // A single "&" in a button text would underline the next letter instead.
            QCOMPARE(button->text(), QString(caption).replace(u'&', QStringLiteral("&&")));
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            QCOMPARE(edit->text(), caption);
        } else if (r.kind == Kind::Image) {
            const auto* image = qobject_cast<QLabel*>(w);
            QCOMPARE(image->pixmap().size(), QSize(kLogoWidthPx, kLogoHeightPx));
        } else {
            QCOMPARE(qobject_cast<QLabel*>(w)->text(), caption);
        }
    }

    // The data displays show traces and status texts literally.
    void displaysShowPlainText_data() {
        addRecordRows([](const ControlRecord& r) { return r.kind == Kind::Label && r.border; });
    }
    void displaysShowPlainText() {
        QFETCH(QString, name);
        const auto* label = qobject_cast<QLabel*>(widget(name));
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }

    void labelAlignment_data() {
        addRecordRows([](const ControlRecord& r) { return r.kind == Kind::Label; });
    }
    void labelAlignment() {
        QFETCH(QString, name);
        const Align align = record(name).align;
        const Qt::Alignment expected = align == Align::Centre  ? Qt::AlignHCenter
                                       : align == Align::Right ? Qt::AlignRight
                                                               : Qt::AlignLeft;
        const auto* label = qobject_cast<QLabel*>(widget(name));
        QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, expected);
        QCOMPARE(label->frameShape() != QFrame::NoFrame, record(name).border);
    }

    void font_data() {
        addRecordRows([](const ControlRecord& r) { return r.kind != Kind::Image; });
    }
    void font() {
        QFETCH(QString, name);
        const FontSpec& spec = record(name).font;
        const QFont font = widget(name)->font();
        QCOMPARE(QFontInfo(font).family(), installedFamily(spec.face));
        QCOMPARE(font.pointSizeF(), spec.points);
        QCOMPARE(font.bold(), spec.bold);
    }

    void visibility_data() { addAllRecordRows(); }
    void visibility() {
        QFETCH(QString, name);
        const ControlRecord& r = record(name);
        bool shown = r.visible;
        for (const ControlRecord* c = containerOf(r); c != nullptr; c = containerOf(*c))
            shown = shown && c->visible;
        QCOMPARE(widget(name)->isHidden(), !r.visible);
        QCOMPARE(widget(name)->isVisibleTo(form_.get()), shown);
        QVERIFY(widget(name)->isEnabled());
    }

    void focusPolicy_data() { addAllRecordRows(); }
    void focusPolicy() {
        QFETCH(QString, name);
        const Qt::FocusPolicy policy = widget(name)->focusPolicy();
        if (takesFocus(record(name).kind))
            QVERIFY((policy & Qt::TabFocus) != 0);
        else
            QCOMPARE(policy, Qt::NoFocus);
    }

    void optionSelection_data() {
        addRecordRows([](const ControlRecord& r) { return r.kind == Kind::Option; });
    }
    void optionSelection() {
        QFETCH(QString, name);
        QCOMPARE(qobject_cast<QRadioButton*>(widget(name))->isChecked(), record(name).selected);
    }

    // Port and speed options sit in different groups: choosing one never
    // clears the other.
    void portAndSpeedOptionsExcludeOnlyTheirOwn() {
        QWidget form;
        const BuiltLayout built = buildLayout(form);
        auto* com1 = qobject_cast<QRadioButton*>(built[QStringLiteral("Option1")]);
        auto* com2 = qobject_cast<QRadioButton*>(built[QStringLiteral("Option2")]);
        auto* fast = qobject_cast<QRadioButton*>(built[QStringLiteral("Option9")]);
        auto* slow = qobject_cast<QRadioButton*>(built[QStringLiteral("Option10")]);
        com1->setChecked(true);
        com2->setChecked(true);
        QVERIFY(!com1->isChecked());
        QVERIFY(fast->isChecked());
        slow->setChecked(true);
        QVERIFY(!fast->isChecked());
        QVERIFY(com2->isChecked());
    }

    // Buttons are filled flat with their colour: two columns near the left and
    // right edges, clear of the centred caption, hold the colour on every row.
    // A caption wider than its button also shows here, cut at both edges.
    void buttonFill_data() {
        addRecordRows([](const ControlRecord& r) {
            return r.kind == Kind::Button && !r.background.isDefault;
        });
    }
    void buttonFill() {
        QFETCH(QString, name);
        const QRgb expected = record(name).background.rgb;
        const QImage image = widget(name)->grab().toImage();
        for (const int x : {3, image.width() - 4})
            for (int y = 3; y < image.height() - 3; ++y)
                QVERIFY2(rgbOf(image, x, y) == expected,
                         qPrintable(QStringLiteral("pixel %1,%2 is %3, not the fill %4")
                                        .arg(x)
                                        .arg(y)
                                        .arg(hex(rgbOf(image, x, y)), hex(expected))));
    }

    // Labels and options show their background colour over most of their area.
    void labelAndOptionBackground_data() {
        addRecordRows([](const ControlRecord& r) {
            return (r.kind == Kind::Label || r.kind == Kind::Option) && !r.background.isDefault;
        });
    }
    void labelAndOptionBackground() {
        QFETCH(QString, name);
        const QImage image = widget(name)->grab().toImage();
        QCOMPARE(hex(mostFrequentColour(image)), hex(record(name).background.rgb));
    }

    // Inside its border, every pixel of a group that no child covers is its fill.
    void groupFill_data() {
        addRecordRows([](const ControlRecord& r) { return r.kind == Kind::Group; });
    }
    void groupFill() {
        QFETCH(QString, name);
        QWidget* group = widget(name);
        const QImage image = group->grab().toImage();
        const QRgb expected = record(name).background.rgb;
        QRegion open(image.rect().adjusted(3, 3, -3, -3));
        for (const QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!child->isHidden())
                open -= child->geometry();
        int wrong = 0;
        for (const QRect& rect : open)
            for (int y = rect.top(); y <= rect.bottom(); ++y)
                for (int x = rect.left(); x <= rect.right(); ++x)
                    wrong += rgbOf(image, x, y) == expected ? 0 : 1;
        QCOMPARE(wrong, 0);
    }

    // A group is a bordered box: its edge differs from its fill.
    void groupBorder_data() {
        addRecordRows([](const ControlRecord& r) { return r.kind == Kind::Group; });
    }
    void groupBorder() {
        QFETCH(QString, name);
        const QImage image = widget(name)->grab().toImage();
        const QRgb fill = record(name).background.rgb;
        QVERIFY(rgbOf(image, 0, image.height() / 2) != fill);
        QVERIFY(rgbOf(image, image.width() / 2, image.height() - 1) != fill);
    }

    // Captions are drawn in the control's text colour; the displays are
    // checked with a sample text, since they start empty. The edges (borders,
    // focus frame) are left out.
    void textColour_data() {
        addRecordRows([](const ControlRecord& r) {
            return r.kind == Kind::Label || r.kind == Kind::Button || r.kind == Kind::Option;
        });
    }
    void textColour() {
        QFETCH(QString, name);
        const ControlRecord& r = record(name);
        const QRgb expected = r.foreground.isDefault ? 0x000000 : r.foreground.rgb;
        auto* label = qobject_cast<QLabel*>(widget(name));
        const bool sample = label != nullptr && r.caption.empty();
        if (sample)
            label->setText(QStringLiteral("Power ON"));
        const QImage whole = widget(name)->grab().toImage();
        if (sample)
            label->clear();
        const QImage inner = whole.copy(whole.rect().adjusted(3, 3, -3, -3));
        QVERIFY(countPixels(inner, [&](QRgb c) { return near(c, expected, 0x30); }) > 0);
    }

    // The three displays wear one and the same single-line border, whatever
    // their text colour.
    void displaysShareOneBorder_data() {
        addRecordRows([](const ControlRecord& r) { return r.kind == Kind::Label && r.border; });
    }
    void displaysShareOneBorder() {
        QFETCH(QString, name);
        const QImage reference = widget(QStringLiteral("Label11"))->grab().toImage();
        const QImage image = widget(name)->grab().toImage();
        for (const QPoint& edge : {QPoint(0, image.height() / 2), QPoint(image.width() / 2, 0)})
            QCOMPARE(hex(rgbOf(image, edge.x(), edge.y())),
                     hex(rgbOf(reference, edge.x(), edge.y())));
    }

    void imageShowsTheLogo() {
        const QImage image = widget(QStringLiteral("Image1"))->grab().toImage();
        QVERIFY(countPixels(image, isLogoRed) > 50);
        QVERIFY(countPixels(image, [](QRgb c) { return c == kWindowGrey; }) > 500);
    }

    // --- the window as a whole ---

    // Tab moves through buttons, options and the text box in ascending tab index.
    void tabChainFollowsTabIndices() {
        std::vector<const ControlRecord*> focusable;
        for (const ControlRecord& r : controlRecords())
            if (takesFocus(r.kind))
                focusable.push_back(&r);
        std::sort(focusable.begin(), focusable.end(),
                  [](const auto* a, const auto* b) { return a->tab < b->tab; });
        QStringList expected;
        for (const ControlRecord* r : focusable)
            expected.append(qs(r->name));

        QSet<QString> focusableNames(expected.begin(), expected.end());
        QStringList chain;
        QWidget* first = widget(expected.first());
        QWidget* w = first;
        do {
            if (focusableNames.contains(w->objectName()))
                chain.append(w->objectName());
            w = w->nextInFocusChain();
        } while (w != first && chain.size() <= expected.size());
        QCOMPARE(chain, expected);
    }

    // The overlaps kept from the design: 15 twips become one pixel, the 6 of
    // "R/C" and "KEY" round away so that the two buttons just touch.
    void intendedOverlaps_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QSize>("twips");
        QTest::addColumn<QSize>("pixels");
        const QSize across(15, 255);
        const QSize down(975, 15);
        addOverlap("IMAGE over P-TIMER", "Command30", "Command14", down, QSize(65, 1));
        addOverlap("STAND beside REAL", "Command4", "Command10", across, QSize(1, 17));
        addOverlap("REAL beside CINEMA", "Command10", "Command11", across, QSize(1, 17));
        addOverlap("IMAGE1 beside IMAGE2", "Command39", "Command40", across, QSize(1, 17));
        addOverlap("IMAGE2 beside IMAGE3", "Command40", "Command41", across, QSize(1, 17));
        addOverlap("STAND over IMAGE1", "Command4", "Command39", down, QSize(65, 1));
        addOverlap("REAL over IMAGE2", "Command10", "Command40", down, QSize(65, 1));
        addOverlap("CINEMA over IMAGE3", "Command11", "Command41", down, QSize(65, 1));
        addOverlap("IMAGE1 over IMAGE4", "Command39", "Command42", down, QSize(65, 1));
        addOverlap("R/C beside KEY", "Command57", "Command58", QSize(6, 255), QSize(0, 17));
        addOverlap("R/C on the logo-capture group", "Command57", "Frame11", QSize(606, 15),
                   QSize(40, 1));
        addOverlap("KEY on the logo-capture group", "Command58", "Frame11", QSize(606, 15),
                   QSize(40, 1));
    }
    void intendedOverlaps() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QSize, twips);
        QFETCH(QSize, pixels);
        QCOMPARE(overlapSize(twipsOnWindow(record(first)), twipsOnWindow(record(second))), twips);
        QCOMPARE(overlapSize(onForm(first), onForm(second)), pixels);
    }

    // Overlapping siblings stack by tab index, the later on top, and a label
    // always lies under the control it overlaps.
    void overlappingSiblingsStackByTabIndex_data() {
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("upper");
        const auto records = controlRecords();
        for (const ControlRecord& a : records) {
            for (const ControlRecord& b : records) {
                if (&a == &b || a.container != b.container ||
                    !pixelsOnWindow(a).intersects(pixelsOnWindow(b)))
                    continue;
                const bool bAbove = (a.kind == Kind::Label) != (b.kind == Kind::Label)
                                        ? a.kind == Kind::Label
                                        : a.tab < b.tab;
                if (bAbove)
                    QTest::addRow("%s over %s", qPrintable(qs(b.name)), qPrintable(qs(a.name)))
                        << qs(a.name) << qs(b.name);
            }
        }
    }
    void overlappingSiblingsStackByTabIndex() {
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        const QObjectList siblings = widget(lower)->parent()->children();
        QVERIFY(siblings.indexOf(widget(lower)) < siblings.indexOf(widget(upper)));
    }

    // What each outer window height shows of the layout: a control whose lower
    // edge lies within the client height is whole on screen, one that starts
    // at or below it is not seen at all.
    void windowHeights_data() {
        QTest::addColumn<int>("outerHeight");
        QTest::addColumn<QString>("lowestWhole");
        QTest::addColumn<QString>("firstUnseen");
        addHeight("compact 5350: command area", 5350, "Command42", "Frame9");
        addHeight("data panel 6645", 6645, "Frame9", "Frame14");
        addHeight("service 7200", 7200, "Frame9", "Frame16");
        addHeight("full view 9100", 9100, "Frame15", "");
    }
    void windowHeights() {
        QFETCH(int, outerHeight);
        QFETCH(QString, lowestWhole);
        QFETCH(QString, firstUnseen);
        const int clientTwips = outerHeight - kTitleBarTwips;
        const QRect client(0, 0, toPixels(kClientWidthTwips), toPixels(clientTwips));
        for (const ControlRecord& r : controlRecords()) {
            const QRect twips = twipsOnWindow(r);
            const QRect shown = onForm(qs(r.name));
            if (twips.y() + twips.height() <= clientTwips)
                QVERIFY2(client.contains(shown), qPrintable(qs(r.name)));
            if (twips.y() >= clientTwips)
                QVERIFY2(shown.top() >= client.height(), qPrintable(qs(r.name)));
        }
        QVERIFY(client.contains(onForm(lowestWhole)));
        if (!firstUnseen.isEmpty())
            QVERIFY(!client.intersects(onForm(firstUnseen)));
    }

    // At 7200 only the top two pixel rows of the lower panel show.
    void serviceHeightShowsTopOfLowerPanel() {
        const int clientPixels = toPixels(7200 - kTitleBarTwips);
        QCOMPARE(clientPixels - onForm(QStringLiteral("Frame14")).top(), 2);
    }

    // --- logo and icon ---

    void logoIsRedLetteringOnGrey() {
        const QImage logo = logoPixmap().toImage();
        QCOMPARE(logo.size(), QSize(kLogoWidthPx, kLogoHeightPx));
        QCOMPARE(QSize(kLogoWidthPx, kLogoHeightPx), QSize(1200 / 15, 390 / 15));
        QVERIFY(countPixels(logo, [](QRgb c) { return c == kWindowGrey; }) > 500);
        // The lettering fills most of the height and width.
        int top = logo.height(), bottom = -1, left = logo.width(), right = -1;
        for (int y = 0; y < logo.height(); ++y)
            for (int x = 0; x < logo.width(); ++x)
                if (isLogoRed(rgbOf(logo, x, y))) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        QVERIFY(bottom - top + 1 >= 15);
        QVERIFY(right - left + 1 >= 60);
    }

    void iconSizes_data() {
        QTest::addColumn<int>("size");
        QTest::addRow("16 x 16") << 16;
        QTest::addRow("32 x 32") << 32;
        QTest::addRow("48 x 48") << 48;
        QTest::addRow("64 x 64") << 64;
        QTest::addRow("128 x 128") << 128;
        QTest::addRow("256 x 256") << 256;
    }
    void iconSizes() {
        QFETCH(int, size);
        const QIcon icon = programIcon();
        QVERIFY(icon.availableSizes().contains(QSize(size, size)));
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY(countPixels(image, isLogoRed) > size * size / 4);
        QVERIFY(countPixels(image, [](QRgb c) { return c == 0xFFFFFF; }) > size);
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
