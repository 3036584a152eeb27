#include "platform/automation/errors.h"

#include <array>

namespace brindlecore::errors {
namespace {

// Every entry of the catalogue, so a bare number coming back from a factory or a dispatch call
// can be shown with its text.
constexpr std::array kCatalogue = {
    &kRtInvalidProcedureCall,
    &kRtOverflow,
    &kRtTypeMismatch,
    &kRtFileNotFound,
    &kRtBadFileMode,
    &kRtInputPastEndOfFile,
    &kRtPermissionDenied,
    &kRtPathNotFound,
    &kRtObjectNotSet,
    &kRtInvalidUseOfNull,
    &kRtCannotCreateObject,
    &kRtObjectDoesntSupport,
    &kRtWrongNumberOfArguments,
    &kErrorFileNotFound,
    &kErrorPathNotFound,
    &kEAccessdenied,
    &kEOutofmemory,
    &kErrorBadNetpath,
    &kEInvalidarg,
    &kErrorInvalidName,
    &kErrorModNotFound,
    &kErrorAlreadyExists,
    &kErrorGroupExists,
    &kErrorLogonFailure,
    &kErrorNoneMapped,
    &kErrorNoSuchAlias,
    &kErrorMemberNotInAlias,
    &kErrorMemberInAlias,
    &kErrorAliasExists,
    &kErrorNoSuchMember,
    &kErrorAccountLockedOut,
    &kNerrGroupnotfound,
    &kNerrUsernotfound,
    &kNerrGroupexists,
    &kNerrUserexists,
    &kErrorDsOperationsError,
    &kErrorDsSizelimitExceeded,
    &kErrorDsNoSuchObject,
    &kErrorDsInvalidDnSyntax,
    &kErrorDsUnwillingToPerform,
    &kErrorDsServerDown,
    &kErrorDsConfidentialityRequired,
    &kErrorDsFilterUnknown,
    &kEAdsBadPathname,
    &kEAdsUnknownObject,
    &kEAdsPropertyNotSet,
    &kEAdsPropertyNotSupported,
    &kEAdsPropertyInvalid,
    &kEAdsPropertyNotFound,
    &kEAdsObjectExists,
    &kEAdsInvalidFilter,
    &kDbSecEPermissiondenied,
    &kDbEErrorsincommand,
    &kDbENotable,
    &kAdErrNoCurrentRecord,
    &kAdErrItemNotFound,
    &kAdErrObjectClosed,
    &kAdErrProviderNotFound,
    &kEFail,
    &kENointerface,
    &kClassENoaggregation,
    &kClassEClassnotavailable,
    &kRegdbEClassnotreg,
    &kCoEClassstring,
    &kRpcEWrongThread,
    &kDispEMembernotfound,
    &kDispETypemismatch,
    &kDispEUnknownname,
    &kDispEException,
    &kDispEOverflow,
    &kDispEBadparamcount,
    &kDispEParamnotoptional,
    &kENotimpl,
    &kErrorSharingViolation,
    &kRtOutOfStringSpace,
    &kErrorDiskFull,
    &kErrorFileCorrupt,
};

}  // namespace

const ErrorCode* Find(int32_t number) {
  for (const ErrorCode* code : kCatalogue) {
    if (code->number == number) return code;
  }
  return nullptr;
}

}  // namespace brindlecore::errors
