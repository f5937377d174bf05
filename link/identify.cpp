// Identification of the open unit and of the ESC behind it.
#include "link/identify.h"

#include "link/connection.h"
#include "link/frames.h"

#include <cstring>

static int32_t readUnitMemory(UnitConnection *connection) {
    CommandFrame command;
    ReplyFrame reply;
    buildReadMemory(&command);
    int32_t result = sendCommand(connection, &command, &reply);
    if (result != 0) {
        return result;
    }
    // The reply is used whatever its status; bytes 4-7 of the memory are not needed.
    connection->unitFirmwareVersion = getU32(reply.data + 4);
    connection->unitAuxInfo = getU32(reply.data + 8);
    return 0;
}

// Reads one ESC block. An error reply carries a 16-bit code; code 0 stores nothing and counts
// as success.
static int32_t readEscBlock(UnitConnection *connection, const CommandFrame *command, uint8_t *block,
                            size_t size) {
    ReplyFrame reply;
    int32_t result = sendCommand(connection, command, &reply);
    if (result != 0) {
        return result;
    }
    if (reply.status == STATUS_ERROR) {
        return getU16(reply.data);
    }
    std::memcpy(block, reply.data, size);
    return 0;
}

int32_t identifyUnit(UnitConnection *connection) {
    CommandFrame command;
    ReplyFrame reply;
    buildIdentify(&command);
    int32_t result = sendCommand(connection, &command, &reply);
    if (result != 0) {
        return result;
    }
    connection->unitInBootloader = reply.state;
    if (reply.state != 0) {
        connection->bootIdent1 = reply.data[0];
        connection->bootIdent2 = getU16(reply.data + 1);
        connection->bootIdent3 = getU32(reply.data + 3);
        connection->bootIdent4 = getU32(reply.data + 7);
        connection->bootIdent5 = reply.data[11];
        return readUnitMemory(connection);
    }
    connection->escStatus = getU16(reply.data);
    connection->statusAux = getU16(reply.data + 2);
    connection->unitFirmwareVersion = getU32(reply.data + 4);
    connection->unitAuxInfo = getU32(reply.data + 8);
    if (connection->escStatus != ESC_STATUS_UPDATABLE) {
        return 0;
    }
    buildReadEscInfo(&command);
    result = readEscBlock(connection, &command, connection->escInfo, ESC_INFO_BLOCK_SIZE);
    if (result != 0) {
        return result;
    }
    buildReadEscBootInfo(&command);
    return readEscBlock(connection, &command, connection->escBootInfo, ESC_BOOT_INFO_BLOCK_SIZE);
}
