// The fixed message texts of CRDT documents.
#pragma once

namespace ww::crdt::reducer {

inline constexpr const char* kBadReplica = "replica identifier must be non-empty and cannot be reserved $init";
inline constexpr const char* kRootRemoved = "root value is removed";
inline constexpr const char* kIncompatibleState = "CRDT policy has incompatible reducer state";
inline constexpr const char* kMapRequiresMap = "map policy requires a map value";
inline constexpr const char* kSetRequiresList = "set policy requires a list value";
inline constexpr const char* kListSequenceRequiresList = "list sequence policy requires a list value";
inline constexpr const char* kStringSequenceRequiresString = "string sequence policy requires a string value";
inline constexpr const char* kTooManyInitialElements = "sequence contains too many initial elements";
inline constexpr const char* kStringElementNotString = "string sequence element did not materialize as a string";
inline constexpr const char* kStringElementNotOneScalar = "string sequence element must contain one Unicode scalar value";

inline constexpr const char* kFingerprintsMismatch = "CRDT state fingerprints do not match its uncompacted causal dots";
inline constexpr const char* kBadFingerprint = "CRDT state contains an invalid operation fingerprint";

inline constexpr const char* kSegmentPolicyMismatch = "CRDT path segment does not match its policy";
inline constexpr const char* kSegmentStateMismatch = "CRDT path segment does not match reducer state";
inline constexpr const char* kIdentityImmutable = "set identity fields are immutable; remove and add the member instead";
inline constexpr const char* kRegisterSetNotRegister = "register_set path does not address a register";
inline constexpr const char* kSetAddNotSet = "set_add path does not address a set";
inline constexpr const char* kSetRemoveNotSet = "set_remove path does not address a set";
inline constexpr const char* kMapRemoveNotMap = "map_remove path does not address a map";
inline constexpr const char* kInsertNotSequence = "sequence_insert path does not address a sequence";
inline constexpr const char* kDeleteNotSequence = "sequence_delete path does not address a sequence";
inline constexpr const char* kSpliceNotSequence = "sequence_splice path does not address a sequence";
inline constexpr const char* kMapStateMismatch = "map policy has incompatible reducer state";
inline constexpr const char* kSetStateMismatch = "set policy has incompatible reducer state";
inline constexpr const char* kSequenceStateMismatch = "sequence policy has incompatible reducer state";
inline constexpr const char* kRegisterStateMismatch = "register policy has incompatible reducer state";
inline constexpr const char* kInsertTooMany = "sequence insert contains too many elements";
inline constexpr const char* kNotSetPolicy = "path does not address a set policy";
inline constexpr const char* kCounterExhausted =
    "operation counter exhausted: the next counter would exceed 18446744073709551615";

}  // namespace ww::crdt::reducer
