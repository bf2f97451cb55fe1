// Declarations of the client engine's C functions that the program calls.
//
// The engine is a DLL with undecorated exports; on 32-bit Windows every function uses the
// stdcall convention. Every function returns a 32-bit result, 0 for success. Handles are
// 32-bit values in every build, whatever the pointer size.
//
// ACE_FUNCTIONS is the one list of these functions: the DLL loader, the statically bound
// engine, the scripted test engine and the stand-in engine's exports are all generated from
// it, so a function added here is added everywhere.
#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define ACE_CALL __stdcall
#else
#define ACE_CALL
#endif

using AceResult = uint32_t;
using AceHandle = uint32_t;

// A field is named either by a text or, as the program does, by its number from 1 passed in
// place of the text pointer. Values below 0x10000 are numbers, never addresses.
inline const char* AceFieldNumber(uint16_t number) {
  return reinterpret_cast<const char*>(static_cast<uintptr_t>(number));
}
inline bool AceFieldIsNumber(const char* field) {
  return reinterpret_cast<uintptr_t>(field) < 0x10000;
}

// Server types passed to AdsConnect60.
inline constexpr uint16_t kAceServerLocal = 0x1;
inline constexpr uint16_t kAceServerRemote = 0x2;
inline constexpr uint16_t kAceServerInternet = 0x4;

// Table open options.
inline constexpr uint32_t kAceOpenExclusive = 0x1;
inline constexpr uint32_t kAceOpenReadOnly = 0x2;
inline constexpr uint32_t kAceOpenReindexOnMismatch = 0x100;
inline constexpr uint32_t kAceOpenIgnoreMismatch = 0x200;

// clang-format off
// X(name, parameter list, argument list)
#define ACE_FUNCTIONS(X)                                                                        \
  X(AdsConnect60,                                                                               \
    (const char* path, uint16_t server_types, const char* user, const char* password,           \
     uint32_t options, AceHandle* connection),                                                  \
    (path, server_types, user, password, options, connection))                                  \
  X(AdsDisconnect, (AceHandle connection), (connection))                                        \
  X(AdsGetLastError, (uint32_t * code, char* text, uint16_t* length), (code, text, length))     \
  X(AdsShowError, (const char* title), (title))                                                 \
  X(AdsOpenTable,                                                                               \
    (AceHandle connection, const char* name, const char* alias, uint16_t table_type,            \
     uint16_t char_type, uint16_t lock_type, uint16_t rights, uint32_t options,                 \
     AceHandle* table),                                                                         \
    (connection, name, alias, table_type, char_type, lock_type, rights, options, table))        \
  X(AdsCloseTable, (AceHandle table), (table))                                                  \
  X(AdsGetTableType, (AceHandle table, uint16_t * type), (table, type))                         \
  X(AdsGetRecordLength, (AceHandle table, uint32_t * length), (table, length))                  \
  X(AdsGetBookmarkLength, (AceHandle table, uint32_t * length), (table, length))                \
  X(AdsGetTableOpenOptions, (AceHandle table, uint32_t * options), (table, options))            \
  X(AdsSqlPeekStatement, (AceHandle table, uint16_t * is_statement), (table, is_statement))     \
  X(AdsGetAllIndexes, (AceHandle table, AceHandle * indexes, uint16_t * count),                 \
    (table, indexes, count))                                                                    \
  X(AdsGetIndexPageSize, (AceHandle index, uint32_t * size), (index, size))                     \
  X(AdsGetNumFields, (AceHandle table, uint16_t * count), (table, count))                       \
  X(AdsGetNullRecord, (AceHandle table, char* buffer, uint32_t length), (table, buffer, length)) \
  X(AdsGetFieldType, (AceHandle table, const char* field, uint16_t* type), (table, field, type)) \
  X(AdsGetFieldLength, (AceHandle table, const char* field, uint32_t* length),                  \
    (table, field, length))                                                                     \
  X(AdsGetFieldDecimals, (AceHandle table, const char* field, uint16_t* decimals),              \
    (table, field, decimals))                                                                   \
  X(AdsGetFieldName, (AceHandle table, uint16_t field, char* name, uint16_t* length),           \
    (table, field, name, length))                                                               \
  X(AdsGetFieldOffset, (AceHandle table, const char* field, uint32_t* offset),                  \
    (table, field, offset))                                                                     \
  X(AdsGetColumnPermissions, (AceHandle table, uint16_t field, uint8_t* permissions),           \
    (table, field, permissions))                                                                \
  X(AdsGetNumIndexes, (AceHandle table, uint16_t * count), (table, count))                      \
  X(AdsGetIndexName, (AceHandle index, char* name, uint16_t* length), (index, name, length))    \
  X(AdsGetNumSegments, (AceHandle index, uint16_t * count), (index, count))                     \
  X(AdsGetSegmentFieldname, (AceHandle index, uint16_t segment, char* name, uint16_t* length),  \
    (index, segment, name, length))                                                             \
  X(AdsIsIndexDescending, (AceHandle index, uint16_t * yes), (index, yes))                      \
  X(AdsIsIndexUnique, (AceHandle index, uint16_t * yes), (index, yes))                          \
  X(AdsIsIndexPrimaryKey, (AceHandle index, uint16_t * yes), (index, yes))                      \
  X(AdsGotoBOF, (AceHandle cursor), (cursor))                                                   \
  X(AdsSkip, (AceHandle cursor, int32_t rows), (cursor, rows))                                  \
  X(AdsAtEOF, (AceHandle cursor, uint16_t * yes), (cursor, yes))                                \
  X(AdsAtBOF, (AceHandle cursor, uint16_t * yes), (cursor, yes))                                \
  X(AdsIsRecordVisible, (AceHandle cursor, uint16_t * yes), (cursor, yes))                      \
  X(AdsGetRecord, (AceHandle cursor, char* buffer, uint32_t* length), (cursor, buffer, length)) \
  X(AdsGetBookmark60, (AceHandle cursor, char* buffer, uint32_t* length),                       \
    (cursor, buffer, length))                                                                   \
  X(AdsCreateIndex61,                                                                           \
    (AceHandle table, const char* file, const char* tag, const char* expression,                \
     const char* condition, const char* while_condition, uint32_t options, uint32_t page_size,  \
     AceHandle* index),                                                                         \
    (table, file, tag, expression, condition, while_condition, options, page_size, index))      \
  X(AdsPackTable, (AceHandle table), (table))                                                   \
  X(AdsCloseSQLStatement, (AceHandle statement), (statement))                                   \
  X(AdsDDGetTableProperty,                                                                      \
    (AceHandle connection, const char* table, uint16_t property, char* buffer,                  \
     uint16_t* length),                                                                         \
    (connection, table, property, buffer, length))                                              \
  X(AdsGetTableCharType, (AceHandle table, uint16_t * char_type), (table, char_type))           \
  X(AdsIsTableEncrypted, (AceHandle table, uint16_t * yes), (table, yes))                       \
  X(AdsIsEncryptionEnabled, (AceHandle table, uint16_t * yes), (table, yes))                    \
  X(AdsEnableEncryption, (AceHandle table, const char* password), (table, password))            \
  X(AdsOpenIndex, (AceHandle table, const char* name, AceHandle* indexes, uint16_t* count),     \
    (table, name, indexes, count))                                                              \
  X(AdsCacheRecords, (AceHandle table, uint16_t records), (table, records))                     \
  X(AdsGetIndexHandle, (AceHandle table, const char* name, AceHandle* index),                   \
    (table, name, index))                                                                       \
  X(AdsCacheOpenTables, (uint16_t tables), (tables))                                            \
  X(AdsCacheOpenCursors, (uint16_t cursors), (cursors))
// clang-format on

// Pointer types of the functions, e.g. AdsConnect60Fn.
#define ACE_DECLARE_POINTER_TYPE(name, params, args) using name##Fn = AceResult(ACE_CALL*) params;
ACE_FUNCTIONS(ACE_DECLARE_POINTER_TYPE)
#undef ACE_DECLARE_POINTER_TYPE

// One pointer per function: filled by the DLL loader or bound to the linked engine.
struct AceFunctionTable {
#define ACE_DECLARE_MEMBER(name, params, args) name##Fn name = nullptr;
  ACE_FUNCTIONS(ACE_DECLARE_MEMBER)
#undef ACE_DECLARE_MEMBER
};
