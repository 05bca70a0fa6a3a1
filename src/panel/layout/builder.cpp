#include "panel/layout/builder.h"

#include "commands/senders.h"
#include "panel/layout/clickable_label.h"
#include "panel/layout/display_label.h"
#include "panel/layout/entry_line.h"
#include "panel/layout/flat_button.h"
#include "panel/layout/hold_key_button.h"
#include "panel/layout/logo.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tavo::layout {

namespace {

constexpr auto kGothicFamily = "ＭＳ ゴシック";
constexpr auto kPGothicFamily = "ＭＳ Ｐゴシック";
constexpr auto kGothicSubstitute = "IPAGothic";
constexpr auto kPGothicSubstitute = "IPAPGothic";

QString toQString(std::string_view text) {
    return QString::fromUtf8(text);
}

QColor toQColor(std::uint32_t value) {
    return QColor(QRgb(value));
}

QColor toQColor(Colour colour, const QColor& kindDefault) {
    return colour.isDefault ? kindDefault : toQColor(colour.rgb);
}

// A caption for a button: a single '&' would become a mnemonic.
QString buttonCaption(const QString& caption) {
    return QString(caption).replace(u'&', QStringLiteral("&&"));
}

Qt::Alignment toQtAlignment(Align align) {
    switch (align) {
    case Align::Centre:
        return Qt::AlignHCenter | Qt::AlignTop;
    case Align::Right:
        return Qt::AlignRight | Qt::AlignTop;
    case Align::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

QPoint containerTwips(const ControlRecord& record) {
    if (record.container.empty())
        return {};
    const ControlRecord* container = findRecord(record.container);
    return container ? absoluteTwips(*container) : QPoint();
}

// Grey ground and text colour of a static control (label, option, group).
void paintGround(QWidget& widget, const ControlRecord& record) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, toQColor(record.background, toQColor(kWindowGrey)));
    palette.setColor(QPalette::WindowText, toQColor(record.foreground, Qt::black));
    widget.setPalette(palette);
    // Buttons (the options) fill with their background role, Button by default.
    widget.setBackgroundRole(QPalette::Window);
    widget.setAutoFillBackground(true);
}

bool isHoldKey(const ControlRecord& record) {
    return std::ranges::any_of(commands::holdKeys(),
                               [&](const auto& key) { return key.control == record.name; });
}

bool isHeading(const ControlRecord& record) {
    return std::ranges::any_of(commands::oneShotSenders(),
                               [&](const auto& sender) { return sender.control == record.name; });
}

QWidget* createWidget(const ControlRecord& record, QWidget& parent) {
    const QString caption = toQString(record.caption);
    switch (record.kind) {
    case Kind::Group: {
        auto* frame = new QFrame(&parent);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        paintGround(*frame, record);
        return frame;
    }
    case Kind::Label: {
        // In this window a bordered label is a data display: it shows traces
        // and status texts of any length.
        // A heading that sends its group's query is clickable.
        QLabel* label = record.border       ? new DisplayLabel(&parent)
                        : isHeading(record) ? new ClickableLabel(&parent)
                                            : new QLabel(&parent);
        label->setTextFormat(Qt::PlainText);
        label->setText(caption);
        label->setAlignment(toQtAlignment(record.align));
        if (record.border)
            label->setFrameStyle(QFrame::Box | QFrame::Plain);
        paintGround(*label, record);
        return label;
    }
    case Kind::Button: {
        auto* button = isHoldKey(record) ? new HoldKeyButton(buttonCaption(caption), &parent)
                                         : new FlatButton(buttonCaption(caption), &parent);
        button->setColours(
            toQColor(record.background, QGuiApplication::palette().color(QPalette::Button)),
            toQColor(record.foreground, Qt::black));
        return button;
    }
    case Kind::Option: {
        auto* option = new QRadioButton(buttonCaption(caption), &parent);
        option->setChecked(record.selected);
        paintGround(*option, record);
        return option;
    }
    case Kind::TextBox: {
        auto* edit = new EntryLine(&parent);
        edit->setText(caption);
        return edit;
    }
    case Kind::Image: {
        auto* image = new ClickableLabel(&parent);
        image->setPixmap(logoPixmap());
        image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        image->setAccessibleName(QStringLiteral("TAVO logo"));
        return image;
    }
    }
    return nullptr;
}

bool takesFocus(Kind kind) {
    return kind == Kind::Button || kind == Kind::Option || kind == Kind::TextBox;
}

// Overlapping siblings: labels below the rest, then a later tab index on top.
void applyStacking(const BuiltLayout& built) {
    std::vector<const ControlRecord*> order;
    for (const ControlRecord& record : controlRecords())
        order.push_back(&record);
    std::stable_sort(order.begin(), order.end(),
                     [](const ControlRecord* a, const ControlRecord* b) {
                         const bool aLabel = a->kind == Kind::Label || a->kind == Kind::Image;
                         const bool bLabel = b->kind == Kind::Label || b->kind == Kind::Image;
                         if (aLabel != bLabel)
                             return aLabel;
                         return a->tab < b->tab;
                     });
    for (const ControlRecord* record : order)
        built[toQString(record->name)]->raise();
}

// Options exclude each other within their container only. Qt's automatic
// exclusivity would also reach into nested groups (the speed options inside
// the port panel), so each container gets a group of its own.
void groupOptions(const BuiltLayout& built) {
    QHash<QWidget*, QButtonGroup*> groups;
    for (const ControlRecord& record : controlRecords()) {
        if (record.kind != Kind::Option)
            continue;
        auto* option = static_cast<QRadioButton*>(built[toQString(record.name)]);
        QWidget* container = option->parentWidget();
        QButtonGroup*& group = groups[container];
        if (!group)
            group = new QButtonGroup(container);
        group->addButton(option);
    }
}

void applyTabOrder(const BuiltLayout& built) {
    std::vector<const ControlRecord*> chain;
    for (const ControlRecord& record : controlRecords()) {
        QWidget* widget = built[toQString(record.name)];
        if (takesFocus(record.kind) && record.tab >= 0)
            chain.push_back(&record);
        else
            widget->setFocusPolicy(Qt::NoFocus);
    }
    std::stable_sort(
        chain.begin(), chain.end(),
        [](const ControlRecord* a, const ControlRecord* b) { return a->tab < b->tab; });
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(built[toQString(chain[i - 1]->name)],
                             built[toQString(chain[i]->name)]);
}

} // namespace

int twipsToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

QPoint absoluteTwips(const ControlRecord& record) {
    return containerTwips(record) + QPoint(record.left, record.top);
}

QRect pixelGeometry(const ControlRecord& record) {
    const QPoint origin = containerTwips(record);
    const QPoint corner = origin + QPoint(record.left, record.top);
    const int originX = twipsToPixels(origin.x());
    const int originY = twipsToPixels(origin.y());
    const int left = twipsToPixels(corner.x()) - originX;
    const int top = twipsToPixels(corner.y()) - originY;
    const int right = twipsToPixels(corner.x() + record.width) - originX;
    const int bottom = twipsToPixels(corner.y() + record.height) - originY;
    return QRect(left, top, right - left, bottom - top);
}

void installFontSubstitutions() {
    QFont::insertSubstitution(QString::fromUtf8(kGothicFamily),
                              QString::fromLatin1(kGothicSubstitute));
    QFont::insertSubstitution(QString::fromUtf8(kPGothicFamily),
                              QString::fromLatin1(kPGothicSubstitute));
}

QFont qtFont(const FontSpec& spec) {
    QFont font(QString::fromUtf8(spec.face == Face::PGothic ? kPGothicFamily : kGothicFamily));
    font.setPointSizeF(spec.points);
    font.setBold(spec.bold);
    font.setStyleHint(spec.face == Face::PGothic ? QFont::SansSerif : QFont::Monospace);
    return font;
}

const ControlRecord* findRecord(std::string_view name) {
    const auto records = controlRecords();
    const auto it = std::find_if(records.begin(), records.end(),
                                 [&](const ControlRecord& r) { return r.name == name; });
    return it == records.end() ? nullptr : &*it;
}

BuiltLayout buildLayout(QWidget& form) {
    BuiltLayout built;
    for (const ControlRecord& record : controlRecords()) {
        QWidget* parent = record.container.empty() ? &form : built[toQString(record.container)];
        Q_ASSERT_X(parent, "buildLayout", "a container is listed after its children");
        QWidget* widget = createWidget(record, parent ? *parent : form);
        widget->setObjectName(toQString(record.name));
        widget->setFont(qtFont(record.font));
        widget->setGeometry(pixelGeometry(record));
        if (!record.visible)
            widget->hide();
        built.widgets.insert(widget->objectName(), widget);
    }
    groupOptions(built);
    applyStacking(built);
    applyTabOrder(built);
    return built;
}

} // namespace tavo::layout
