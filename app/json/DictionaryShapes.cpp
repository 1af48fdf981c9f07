#include "json/DictionaryShapes.h"

#include <cstdint>

size_t DictionaryShapes::slotOf(const QString &firstKey) {
    // The text's address: keys read through the string cache share it while they repeat.
    const auto address = reinterpret_cast<uintptr_t>(firstKey.constData());
    return (address >> 4 ^ address >> 12) % std::tuple_size_v<decltype(m_shapes)>;
}

const DictionaryShapes::Shape *DictionaryShapes::find(const QString &firstKey) const {
    const Shape &shape = m_shapes[slotOf(firstKey)];
    return !shape.empty() && sameText(shape.front().text, firstKey) ? &shape : nullptr;
}

void DictionaryShapes::learn(Shape shape) {
    if (!shape.empty() && !find(shape.front().text)) {
        m_shapes[slotOf(shape.front().text)] = std::move(shape);
    }
}

void DictionaryShapes::clear() {
    for (Shape &shape : m_shapes) {
        shape.clear();
    }
}
