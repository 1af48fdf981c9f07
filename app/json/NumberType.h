#pragma once

#include <QMetaType>

// Whether a QVariant of this type id holds a number: the integer types of every width,
// bool and the character types (which count as small integers), float and double. Shared
// by the JSON writer and the form encoder, which write numbers as bare text.
inline bool isNumberType(int typeId) {
    switch (typeId) {
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}
