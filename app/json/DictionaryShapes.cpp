#include "json/DictionaryShapes.h"

#include <cstdint>

size_t DictionaryShapes::slotOf(const QString &firstKey) {
    // The text's address: keys read through the string cache share it while they repeat.
    const auto address = reinterpret_cast<uintptr_t>(firstKey.constData());
    return (address >> 4 ^ address >> 12) % std::tuple_size_v<decltype(m_shapes)>;
}

DictionaryShapes::Shape *DictionaryShapes::find(const QString &firstKey) {
    Shape &shape = m_shapes[slotOf(firstKey)];
    return !shape.keys.empty() && sameText(shape.keys.front().text, firstKey) ? &shape : nullptr;
}

void DictionaryShapes::learn(Shape shape) {
    Shape &slot = m_shapes[slotOf(shape.keys.front().text)];
    if (slot.keys.empty()) {
        slot = std::move(shape);
    }
}

void DictionaryShapes::clear() {
    for (Shape &shape : m_shapes) {
        shape = Shape();
    }
}
