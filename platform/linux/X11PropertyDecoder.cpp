#include "platform/linux/X11PropertyDecoder.h"

#include <QByteArrayView>

#include <algorithm>
#include <climits>
#include <cstring>

std::optional<quint32> X11PropertyDecoder::firstCardinal(const xcb_get_property_reply_t *reply,
                                                         xcb_atom_t type) {
    if (!reply || reply->type != type || reply->format != 32 ||
        xcb_get_property_value_length(reply) < int(sizeof(quint32)))
        return std::nullopt;
    quint32 value = 0;
    std::memcpy(&value, xcb_get_property_value(reply), sizeof value);
    return value;
}

xcb_window_t X11PropertyDecoder::window(const xcb_get_property_reply_t *reply) {
    return firstCardinal(reply, XCB_ATOM_WINDOW).value_or(XCB_NONE);
}

std::optional<pid_t> X11PropertyDecoder::plausiblePid(std::optional<quint32> value) {
    if (!value || *value == 0 || *value > quint32(INT_MAX)) return std::nullopt;
    return pid_t(*value);
}

std::optional<pid_t> X11PropertyDecoder::pid(const xcb_get_property_reply_t *reply) {
    return plausiblePid(firstCardinal(reply, XCB_ATOM_CARDINAL));
}

bool X11PropertyDecoder::containsAtom(const xcb_get_property_reply_t *reply, xcb_atom_t atom) {
    if (!reply || reply->type != XCB_ATOM_ATOM || reply->format != 32) return false;
    const int count = xcb_get_property_value_length(reply) / int(sizeof(xcb_atom_t));
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
    return std::find(atoms, atoms + count, atom) != atoms + count;
}

std::optional<pid_t> X11PropertyDecoder::clientPid(const xcb_res_query_client_ids_reply_t *reply) {
    if (!reply) return std::nullopt;
    for (auto ids = xcb_res_query_client_ids_ids_iterator(reply); ids.rem > 0;
         xcb_res_client_id_value_next(&ids)) {
        const auto &[client, length] = *ids.data;
        if (client.mask != XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID || length < sizeof(uint32_t))
            continue;
        return plausiblePid(*xcb_res_client_id_value_value(ids.data));
    }
    return std::nullopt;
}

QString X11PropertyDecoder::windowClass(const xcb_get_property_reply_t *reply,
                                        xcb_atom_t utf8StringAtom) {
    if (!reply || reply->format != 8 ||
        (reply->type != XCB_ATOM_STRING && reply->type != utf8StringAtom))
        return {};
    const QByteArrayView value(static_cast<const char *>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
    const qsizetype instanceEnd = value.indexOf('\0');
    if (instanceEnd < 0) return {};
    QByteArrayView rest = value.sliced(instanceEnd + 1);
    const qsizetype classEnd = rest.indexOf('\0');
    if (classEnd >= 0) rest = rest.first(classEnd);
    if (rest.isEmpty()) return {};
    return reply->type == XCB_ATOM_STRING ? QString::fromLatin1(rest) : QString::fromUtf8(rest);
}
