#pragma once
// Edits whose text goes into a fixed-size record field, and the message
// that names a field whose text does not fit.

#include "device/DriverSet.h"
#include "operations/common/Message.h"
#include "text/TextConv.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

class QLineEdit;

namespace orv {

// What a person types or pastes into `edit` stays within what the record
// field takes (counted in converted bytes, escapes included); a keystroke or
// paste beyond it is refused, as at a character limit. A text the program
// puts there (a camera's own) is left for the Save checks to judge.
void LimitToRecordField(QLineEdit* edit, int codePage, std::size_t fieldSize);
// The cameras a field's text goes to, as they stand when it is typed.
using TargetsOf = std::function<std::vector<device::DeviceInfo>()>;
// The same for a text that the drivers of `targets` must take whole; every
// driver in `drivers` without `targets`, or while they give no camera.
void LimitToTaken(QLineEdit* edit, const device::CDriverSet& drivers, device::TextField field,
                  TargetsOf targets = {});

// A rule's message in the current language; where it names a field, "%1"
// becomes that field's label without its colon.
QString MessageText(const Message& message, const std::optional<Message>& field = std::nullopt);

// A label's text as the name of its field: without its colon.
QString FieldName(const QString& label);
// The question a checked job asks before it starts, with what will change
// (field names, joined) and on how many cameras.
QString ChangeQuestion(const QStringList& what, int cameras);

} // namespace orv
