#include "link/port_settings.h"

#include <QList>

namespace tavo::link {

namespace {

struct ParityLetter {
    QChar letter;
    QSerialPort::Parity parity;
};
constexpr ParityLetter kParityLetters[] = {
    {u'N', QSerialPort::NoParity},    {u'E', QSerialPort::EvenParity},
    {u'O', QSerialPort::OddParity},   {u'M', QSerialPort::MarkParity},
    {u'S', QSerialPort::SpaceParity},
};

struct StopBitsText {
    QStringView text;
    QSerialPort::StopBits stopBits;
};
constexpr StopBitsText kStopBits[] = {
    {u"1", QSerialPort::OneStop},
    {u"1.5", QSerialPort::OneAndHalfStop},
    {u"2", QSerialPort::TwoStop},
};

} // namespace

std::optional<PortSettings> parsePortSettings(QStringView text) {
    const QList<QStringView> fields = text.split(u',');
    if (fields.size() != 4)
        return std::nullopt;

    PortSettings settings;
    bool ok = false;
    settings.baudRate = fields[0].trimmed().toInt(&ok);
    if (!ok || settings.baudRate <= 0)
        return std::nullopt;

    const QStringView parity = fields[1].trimmed();
    const auto parityIt = std::find_if(
        std::begin(kParityLetters), std::end(kParityLetters), [&](const ParityLetter& p) {
            return parity.size() == 1 && parity[0].toUpper() == p.letter;
        });
    if (parityIt == std::end(kParityLetters))
        return std::nullopt;
    settings.parity = parityIt->parity;

    const int dataBits = fields[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    settings.dataBits = static_cast<QSerialPort::DataBits>(dataBits);

    const QStringView stop = fields[3].trimmed();
    const auto stopIt = std::find_if(std::begin(kStopBits), std::end(kStopBits),
                                     [&](const StopBitsText& s) { return s.text == stop; });
    if (stopIt == std::end(kStopBits))
        return std::nullopt;
    settings.stopBits = stopIt->stopBits;
    return settings;
}

QString formatPortSettings(const PortSettings& settings) {
    QChar parity = u'N';
    for (const auto& p : kParityLetters)
        if (p.parity == settings.parity)
            parity = p.letter;
    QStringView stop = u"1";
    for (const auto& s : kStopBits)
        if (s.stopBits == settings.stopBits)
            stop = s.text;
    return QStringLiteral("%1,%2,%3,%4")
        .arg(settings.baudRate)
        .arg(parity)
        .arg(static_cast<int>(settings.dataBits))
        .arg(stop);
}

} // namespace tavo::link
