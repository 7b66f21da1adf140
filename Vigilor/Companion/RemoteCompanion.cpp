// The relay's lock command in JSON, and the phone's recovery band words.
#include "RemoteCompanion.h"

#include "Foundation/Text.h"

std::optional<RecoveryBand> recoveryBand(std::string_view word) {
    return enumFromRawValue<RecoveryBand>(asciiLowercased(word));
}

std::optional<RemoteLockCommand> RemoteLockCommand::fromJSON(const Json& object) {
    if (!JsonField::has(object, "id") || !JsonField::has(object, "action"))
        return std::nullopt;
    RemoteLockCommand command;
    try {
        JsonField::read(object, "id", command.id);
        JsonField::read(object, "action", command.action);
        JsonField::read(object, "issuedAt", command.issuedAt);
        JsonField::read(object, "expiresAt", command.expiresAt);
        JsonField::read(object, "signature", command.signature);
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
    return command;
}
