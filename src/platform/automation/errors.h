// The platform's error catalogue: every number and text a failure can show.
//
// Backends map their native failures (SQLite, libldap, errno, crypt) onto these in one place
// each, so a host page sees exactly the numbers and texts of the original platform.
#ifndef BRINDLECORE_PLATFORM_AUTOMATION_ERRORS_H_
#define BRINDLECORE_PLATFORM_AUTOMATION_ERRORS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "brindlecore/automation.h"

namespace brindlecore::errors {

struct ErrorCode {
  int32_t number;
  std::string_view text;
  AutomationError Make() const { return AutomationError(number, std::string(text)); }
  [[noreturn]] void Throw() const { throw Make(); }
  bool Is(const AutomationError& e) const { return e.number == number; }
};

// Script runtime errors (number, text)
inline constexpr ErrorCode kRtInvalidProcedureCall{5, "Invalid procedure call or argument"};
inline constexpr ErrorCode kRtOverflow{6, "Overflow"};
inline constexpr ErrorCode kRtTypeMismatch{13, "Type mismatch"};
inline constexpr ErrorCode kRtOutOfStringSpace{14, "Out of string space"};
inline constexpr ErrorCode kRtFileNotFound{53, "File not found"};
inline constexpr ErrorCode kRtBadFileMode{54, "Bad file mode"};
inline constexpr ErrorCode kRtInputPastEndOfFile{62, "Input past end of file"};
inline constexpr ErrorCode kRtPermissionDenied{70, "Permission denied"};
inline constexpr ErrorCode kRtPathNotFound{76, "Path not found"};
inline constexpr ErrorCode kRtObjectNotSet{91, "Object variable or With block variable not set"};
inline constexpr ErrorCode kRtInvalidUseOfNull{94, "Invalid use of Null"};
inline constexpr ErrorCode kRtCannotCreateObject{429, "ActiveX component can't create object"};
inline constexpr ErrorCode kRtObjectDoesntSupport{438,
                                                  "Object doesn't support this property or method"};
inline constexpr ErrorCode kRtWrongNumberOfArguments{
    450, "Wrong number of arguments or invalid property assignment"};

// System errors (HRESULT, signed decimal, text)
inline constexpr ErrorCode kErrorFileNotFound{
    -2147024894, "The system cannot find the file specified."};  // 0x80070002
inline constexpr ErrorCode kErrorPathNotFound{
    -2147024893, "The system cannot find the path specified."};               // 0x80070003
inline constexpr ErrorCode kEAccessdenied{-2147024891, "Access is denied."};  // 0x80070005
inline constexpr ErrorCode kErrorSharingViolation{
    -2147024864,
    "The process cannot access the file because it is being used by another "
    "process."};  // 0x80070020
inline constexpr ErrorCode kEOutofmemory{
    -2147024882, "Not enough storage is available to complete this operation."};  // 0x8007000E
inline constexpr ErrorCode kErrorBadNetpath{-2147024843,
                                            "The network path was not found."};       // 0x80070035
inline constexpr ErrorCode kEInvalidarg{-2147024809, "The parameter is incorrect."};  // 0x80070057
inline constexpr ErrorCode kErrorInvalidName{
    -2147024773,
    "The filename, directory name, or volume label syntax is incorrect."};  // 0x8007007B
inline constexpr ErrorCode kErrorModNotFound{
    -2147024770, "The specified module could not be found."};  // 0x8007007E
inline constexpr ErrorCode kErrorDiskFull{-2147024784,
                                          "There is not enough space on the disk."};  // 0x80070070
inline constexpr ErrorCode kErrorAlreadyExists{
    -2147024713, "Cannot create a file when that file already exists."};  // 0x800700B7
inline constexpr ErrorCode kErrorGroupExists{-2147023578,
                                             "The specified group already exists."};  // 0x80070526
inline constexpr ErrorCode kErrorLogonFailure{
    -2147023570, "Logon failure: unknown user name or bad password."};  // 0x8007052E
inline constexpr ErrorCode kErrorNoneMapped{
    -2147023564, "No mapping between account names and security IDs was done."};  // 0x80070534
inline constexpr ErrorCode kErrorNoSuchAlias{
    -2147023520, "The specified local group does not exist."};  // 0x80070560
inline constexpr ErrorCode kErrorMemberNotInAlias{
    -2147023519, "The specified account name is not a member of the local group."};  // 0x80070561
inline constexpr ErrorCode kErrorMemberInAlias{
    -2147023518,
    "The specified account name is already a member of the local group."};  // 0x80070562
inline constexpr ErrorCode kErrorAliasExists{
    -2147023517, "The specified local group already exists."};  // 0x80070563
inline constexpr ErrorCode kErrorNoSuchMember{
    -2147023509,
    "A member could not be added to or removed from the local group because the member does not "
    "exist."};  // 0x8007056B
inline constexpr ErrorCode kErrorFileCorrupt{
    -2147023504, "The file or directory is corrupted and unreadable."};  // 0x80070570
inline constexpr ErrorCode kErrorAccountLockedOut{
    -2147022987,
    "The referenced account is currently locked out and may not be logged on to."};  // 0x80070775
inline constexpr ErrorCode kNerrGroupnotfound{-2147022676,
                                              "The group name could not be found."};  // 0x800708AC
inline constexpr ErrorCode kNerrUsernotfound{-2147022675,
                                             "The user name could not be found."};  // 0x800708AD
inline constexpr ErrorCode kNerrGroupexists{-2147022673,
                                            "The group already exists."};  // 0x800708AF
inline constexpr ErrorCode kNerrUserexists{-2147022672,
                                           "The account already exists."};  // 0x800708B0
inline constexpr ErrorCode kErrorDsOperationsError{-2147016672,
                                                   "An operations error occurred."};  // 0x80072020
inline constexpr ErrorCode kErrorDsSizelimitExceeded{
    -2147016669, "The size limit for this request was exceeded."};  // 0x80072023
inline constexpr ErrorCode kErrorDsNoSuchObject{
    -2147016656, "There is no such object on the server."};  // 0x80072030
inline constexpr ErrorCode kErrorDsInvalidDnSyntax{
    -2147016654, "An invalid dn syntax has been specified."};  // 0x80072032
inline constexpr ErrorCode kErrorDsUnwillingToPerform{
    -2147016651, "The server is unwilling to process the request."};  // 0x80072035
inline constexpr ErrorCode kErrorDsServerDown{-2147016646,
                                              "The server is not operational."};  // 0x8007203A
inline constexpr ErrorCode kErrorDsConfidentialityRequired{
    -2147016659, "This request requires a secure connection."};  // 0x8007202D
inline constexpr ErrorCode kErrorDsFilterUnknown{
    -2147016642, "The search filter cannot be recognized."};  // 0x8007203E

// Directory-services errors
inline constexpr ErrorCode kEAdsBadPathname{
    -2147463168, "An invalid directory pathname was passed"};  // 0x80005000
inline constexpr ErrorCode kEAdsUnknownObject{
    -2147463164, "An unknown directory object was requested"};  // 0x80005004
inline constexpr ErrorCode kEAdsPropertyNotSet{
    -2147463163, "The specified directory property was not set"};  // 0x80005005
inline constexpr ErrorCode kEAdsPropertyNotSupported{
    -2147463162, "The specified directory property is not supported"};  // 0x80005006
inline constexpr ErrorCode kEAdsPropertyInvalid{
    -2147463161, "The specified directory property is invalid"};  // 0x80005007
inline constexpr ErrorCode kEAdsPropertyNotFound{
    -2147463155, "The directory property cannot be found in the cache."};  // 0x8000500D
inline constexpr ErrorCode kEAdsObjectExists{-2147463154,
                                             "The directory object exists."};  // 0x8000500E
inline constexpr ErrorCode kEAdsInvalidFilter{
    -2147463148, "The search filter specified is invalid"};  // 0x80005014

// Directory search (connection, command, record set)
inline constexpr ErrorCode kDbSecEPermissiondenied{-2147217911,
                                                   "Permission denied."};  // 0x80040E09
inline constexpr ErrorCode kDbEErrorsincommand{
    -2147217900, "One or more errors occurred during processing of command."};  // 0x80040E14
inline constexpr ErrorCode kDbENotable{-2147217865, "Table does not exist."};   // 0x80040E37
inline constexpr ErrorCode kAdErrNoCurrentRecord{
    -2146825267,
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
    "requires a current record."};  // 0x800A0BCD
inline constexpr ErrorCode kAdErrItemNotFound{
    -2146825023,
    "Item cannot be found in the collection corresponding to the requested name "
    "or ordinal."};  // 0x800A0CC1
inline constexpr ErrorCode kAdErrObjectClosed{
    -2146824584, "Operation is not allowed when the object is closed."};  // 0x800A0E78
inline constexpr ErrorCode kAdErrProviderNotFound{
    -2146824582, "Provider cannot be found. It may not be properly installed."};  // 0x800A0E7A

// Automation runtime
inline constexpr ErrorCode kEFail{-2147467259, "Unspecified error"};                   // 0x80004005
inline constexpr ErrorCode kENointerface{-2147467262, "No such interface supported"};  // 0x80004002
inline constexpr ErrorCode kClassENoaggregation{
    -2147221232, "Class does not support aggregation (or class object is remote)"};  // 0x80040110
inline constexpr ErrorCode kClassEClassnotavailable{
    -2147221231, "ClassFactory cannot supply requested class"};                      // 0x80040111
inline constexpr ErrorCode kRegdbEClassnotreg{-2147221164, "Class not registered"};  // 0x80040154
inline constexpr ErrorCode kCoEClassstring{-2147221005, "Invalid class string"};     // 0x800401F3
inline constexpr ErrorCode kRpcEWrongThread{-2147417842,
                                            "The application called an interface that was "
                                            "marshalled for a different thread."};  // 0x8001010E
inline constexpr ErrorCode kDispEMembernotfound{-2147352573, "Member not found."};  // 0x80020003
inline constexpr ErrorCode kDispETypemismatch{-2147352571, "Type mismatch."};       // 0x80020005
inline constexpr ErrorCode kDispEUnknownname{-2147352570, "Unknown name."};         // 0x80020006
inline constexpr ErrorCode kDispEException{-2147352567, "Exception occurred."};     // 0x80020009
inline constexpr ErrorCode kDispEOverflow{-2147352566, "Out of present range."};    // 0x8002000A
inline constexpr ErrorCode kDispEBadparamcount{-2147352562,
                                               "Invalid number of parameters."};  // 0x8002000E
inline constexpr ErrorCode kDispEParamnotoptional{-2147352561,
                                                  "Parameter not optional."};  // 0x8002000F

// Which failure gives which error (platform choices)

inline constexpr ErrorCode kENotimpl{-2147467263, "Not implemented"};  // 0x80004001

// A failure of one of the platform's own files (a store, the class registry): what a host sees is
// the catalogue error alone; a command names the file in its own message.
struct FileError : AutomationError {
  FileError(AutomationError error, std::string file_name)
      : AutomationError(std::move(error)), file(std::move(file_name)) {}
  std::string file;  // "" when not known
};

// The catalogue entry for a number, or nullptr (used to describe a bare HRESULT).
const ErrorCode* Find(int32_t number);

}  // namespace brindlecore::errors

#endif  // BRINDLECORE_PLATFORM_AUTOMATION_ERRORS_H_
