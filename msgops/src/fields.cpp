// fields.cpp: the parameter-id tables of fields.h.
#include "fields.h"

#include <array>

namespace msgops {
namespace {

constexpr size_t kXqhMd = offsetof(MQXQH, MsgDesc);

#define MD_INT(id, f) FieldSpec{id, offsetof(MQMD, f), 4, FieldKind::kInt}
#define MD_CHR(id, f) FieldSpec{id, offsetof(MQMD, f), sizeof(MQMD::f), FieldKind::kChars}
#define MD_BIN(id, f) FieldSpec{id, offsetof(MQMD, f), sizeof(MQMD::f), FieldKind::kBytes}
#define MDE_INT(id, f) FieldSpec{id, offsetof(MQMDE, f), 4, FieldKind::kInt}
#define MDE_CHR(id, f) FieldSpec{id, offsetof(MQMDE, f), sizeof(MQMDE::f), FieldKind::kChars}
#define MDE_BIN(id, f) FieldSpec{id, offsetof(MQMDE, f), sizeof(MQMDE::f), FieldKind::kBytes}
#define DLH_INT(id, f) FieldSpec{id, offsetof(MQDLH, f), 4, FieldKind::kInt}
#define DLH_CHR(id, f) FieldSpec{id, offsetof(MQDLH, f), sizeof(MQDLH::f), FieldKind::kChars}
#define XQH_INT(id, f) FieldSpec{id, offsetof(MQXQH, f), 4, FieldKind::kInt}
#define XQH_CHR(id, f) FieldSpec{id, offsetof(MQXQH, f), sizeof(MQXQH::f), FieldKind::kChars}
#define XMD_INT(id, f) FieldSpec{id, kXqhMd + offsetof(MQMD1, f), 4, FieldKind::kInt}
#define XMD_CHR(id, f) FieldSpec{id, kXqhMd + offsetof(MQMD1, f), sizeof(MQMD1::f), FieldKind::kChars}
#define XMD_BIN(id, f) FieldSpec{id, kXqhMd + offsetof(MQMD1, f), sizeof(MQMD1::f), FieldKind::kBytes}

// ---- Selection criteria ---------------------------------------------------

constexpr std::array kMdIntCriteria = {
    MD_INT(20151, Version),     MD_INT(20152, MsgType),        MD_INT(20153, Persistence),
    MD_INT(20154, Priority),    MD_INT(20161, Report),         MD_INT(20162, Expiry),
    MD_INT(20163, Encoding),    MD_INT(20164, CodedCharSetId), MD_INT(20165, Feedback),
    MD_INT(20166, BackoutCount), MD_INT(20167, PutApplType),
};

constexpr std::array kMdStringCriteria = {
    MD_CHR(20022, Format),           MD_BIN(20023, MsgId),           MD_BIN(20024, CorrelId),
    MD_BIN(20032, AccountingToken),  MD_CHR(20033, ApplIdentityData), MD_CHR(20034, PutApplName),
    MD_CHR(20035, ApplOriginData),   MD_CHR(20036, UserIdentifier),  MD_CHR(20025, PutDate),
    MD_CHR(20026, PutTime),          MD_CHR(20027, ReplyToQ),        MD_CHR(20028, ReplyToQMgr),
};

constexpr std::array kMdV2Criteria = {
    MD_BIN(20172, GroupId), MD_INT(20168, MsgSeqNumber), MD_INT(20169, Offset),
    MD_INT(20170, MsgFlags), MD_INT(20171, OriginalLength),
};

constexpr std::array kMdeCriteria = {
    MDE_INT(20501, Version),     MDE_INT(20502, StrucLength),    MDE_INT(20503, Encoding),
    MDE_INT(20504, CodedCharSetId), MDE_INT(20505, Flags),       MDE_INT(20506, Offset),
    MDE_INT(20507, MsgFlags),    MDE_INT(20508, OriginalLength), MDE_INT(20509, MsgSeqNumber),
    MDE_BIN(20510, GroupId),     MDE_CHR(20511, Format),
};

constexpr std::array kDlhCriteria = {
    DLH_INT(20180, Version),      DLH_INT(20181, Reason),       DLH_INT(20182, Encoding),
    DLH_CHR(20050, DestQName),    DLH_CHR(20051, DestQMgrName), DLH_CHR(20052, Format),
    DLH_CHR(20053, PutApplName),  DLH_CHR(20054, PutDate),      DLH_CHR(20055, PutTime),
};

// The MQXQH fields serve as criteria and as browse-response fields alike.
constexpr std::array kXqhFields = {
    XQH_INT(20191, Version),          XQH_CHR(20056, RemoteQName),      XQH_CHR(20057, RemoteQMgrName),
    XMD_INT(20204, Version),          XMD_INT(20196, Report),           XMD_INT(20192, MsgType),
    XMD_INT(20198, Expiry),           XMD_INT(20201, Feedback),         XMD_INT(20199, Encoding),
    XMD_INT(20200, CodedCharSetId),   XMD_CHR(20058, Format),           XMD_INT(20194, Priority),
    XMD_INT(20193, Persistence),      XMD_BIN(20059, MsgId),            XMD_BIN(20060, CorrelId),
    XMD_INT(20202, BackoutCount),     XMD_CHR(20063, ReplyToQ),         XMD_CHR(20064, ReplyToQMgr),
    XMD_CHR(20069, UserIdentifier),   XMD_BIN(20065, AccountingToken),  XMD_CHR(20066, ApplIdentityData),
    XMD_INT(20203, PutApplType),      XMD_CHR(20067, PutApplName),      XMD_CHR(20061, PutDate),
    XMD_CHR(20062, PutTime),          XMD_CHR(20068, ApplOriginData),
};

// ---- Browse responses -------------------------------------------------------

constexpr std::array kMdResponse = {
    MD_INT(20151, Version),       MD_INT(20152, MsgType),        MD_INT(20153, Persistence),
    MD_INT(20154, Priority),      MD_INT(20161, Report),         MD_INT(20162, Expiry),
    MD_INT(20163, Encoding),      MD_INT(20164, CodedCharSetId), MD_INT(20165, Feedback),
    MD_INT(20166, BackoutCount),  MD_INT(20167, PutApplType),    MD_CHR(20022, Format),
    MD_BIN(20023, MsgId),         MD_BIN(20024, CorrelId),       MD_CHR(20025, PutDate),
    MD_CHR(20026, PutTime),       MD_CHR(20027, ReplyToQ),       MD_CHR(20028, ReplyToQMgr),
    MD_BIN(20032, AccountingToken), MD_CHR(20033, ApplIdentityData), MD_CHR(20034, PutApplName),
    MD_CHR(20035, ApplOriginData), MD_CHR(20036, UserIdentifier),
};

constexpr std::array kMdV2Response = {
    MD_INT(20168, MsgSeqNumber), MD_INT(20169, Offset), MD_INT(20170, MsgFlags),
    MD_INT(20171, OriginalLength), MD_BIN(20172, GroupId),
};

constexpr std::array kMdeResponse = {
    MDE_INT(20501, Version),     MDE_INT(20503, Encoding),      MDE_INT(20504, CodedCharSetId),
    MDE_INT(20505, Flags),       MDE_INT(20506, Offset),        MDE_INT(20507, MsgFlags),
    MDE_INT(20508, OriginalLength), MDE_INT(20509, MsgSeqNumber), MDE_BIN(20510, GroupId),
    MDE_CHR(20511, Format),
};

constexpr std::array kDlhResponse = {
    DLH_INT(20180, Version),     DLH_INT(20181, Reason),       DLH_INT(20182, Encoding),
    DLH_INT(20178, CodedCharSetId), DLH_INT(20179, PutApplType), DLH_CHR(20050, DestQName),
    DLH_CHR(20051, DestQMgrName), DLH_CHR(20052, Format),      DLH_CHR(20053, PutApplName),
    DLH_CHR(20054, PutDate),     DLH_CHR(20055, PutTime),
};

// ---- Modifications of copy and move -----------------------------------------

constexpr std::array kMdModify = {
    MD_INT(20208, Version),       MD_INT(20209, Report),          MD_INT(20205, MsgType),
    MD_INT(20210, Expiry),        MD_INT(20213, Feedback),        MD_INT(20211, Encoding),
    MD_INT(20212, CodedCharSetId), MD_CHR(20075, Format),         MD_INT(20207, Priority),
    MD_INT(20206, Persistence),   MD_BIN(20076, MsgId),           MD_BIN(20077, CorrelId),
    MD_INT(20214, BackoutCount),  MD_CHR(20080, ReplyToQ),        MD_CHR(20081, ReplyToQMgr),
    MD_CHR(20086, UserIdentifier), MD_BIN(20082, AccountingToken), MD_CHR(20083, ApplIdentityData),
    MD_INT(20215, PutApplType),   MD_CHR(20084, PutApplName),     MD_CHR(20085, ApplOriginData),
};

constexpr std::array kMdV2Modify = {
    MD_INT(20250, MsgSeqNumber), MD_INT(20251, Offset), MD_INT(20252, MsgFlags),
    MD_INT(20253, OriginalLength), MD_BIN(20254, GroupId),
};

constexpr std::array kMdeModify = {
    MDE_INT(20522, Encoding),   MDE_INT(20523, CodedCharSetId), MDE_INT(20524, Flags),
    MDE_INT(20525, Offset),     MDE_INT(20526, MsgFlags),       MDE_INT(20527, OriginalLength),
    MDE_INT(20528, MsgSeqNumber), MDE_BIN(20529, GroupId),      MDE_CHR(20530, Format),
};

constexpr std::array kDlhModify = {
    DLH_INT(20216, Reason),      DLH_INT(20217, Encoding),     DLH_INT(20230, CodedCharSetId),
    DLH_INT(20231, PutApplType), DLH_CHR(20087, DestQName),    DLH_CHR(20088, DestQMgrName),
    DLH_CHR(20089, Format),      DLH_CHR(20090, PutApplName),
};

constexpr std::array kXqhModify = {
    XQH_CHR(20093, RemoteQName),    XQH_CHR(20094, RemoteQMgrName), XMD_INT(20222, Report),
    XMD_INT(20218, MsgType),        XMD_INT(20223, Expiry),         XMD_INT(20226, Feedback),
    XMD_INT(20224, Encoding),       XMD_INT(20225, CodedCharSetId), XMD_CHR(20095, Format),
    XMD_INT(20220, Priority),       XMD_INT(20219, Persistence),    XMD_BIN(20096, MsgId),
    XMD_BIN(20097, CorrelId),       XMD_INT(20227, BackoutCount),   XMD_CHR(20901, ReplyToQ),
    XMD_CHR(20902, ReplyToQMgr),    XMD_CHR(20907, UserIdentifier), XMD_BIN(20903, AccountingToken),
    XMD_CHR(20904, ApplIdentityData), XMD_INT(20228, PutApplType),  XMD_CHR(20905, PutApplName),
    XMD_CHR(20906, ApplOriginData),
};

// ---- New messages -----------------------------------------------------------

constexpr std::array kMdNew = {
    MD_INT(20151, Version),       MD_INT(20152, MsgType),        MD_INT(20153, Persistence),
    MD_INT(20154, Priority),      MD_INT(20161, Report),         MD_INT(20162, Expiry),
    MD_INT(20163, Encoding),      MD_INT(20164, CodedCharSetId), MD_INT(20165, Feedback),
    MD_INT(20166, BackoutCount),  MD_INT(20167, PutApplType),    MD_CHR(20022, Format),
    MD_BIN(20023, MsgId),         MD_BIN(20024, CorrelId),       MD_CHR(20027, ReplyToQ),
    MD_CHR(20028, ReplyToQMgr),   MD_BIN(20032, AccountingToken), MD_CHR(20033, ApplIdentityData),
    MD_CHR(20034, PutApplName),   MD_CHR(20035, ApplOriginData), MD_CHR(20036, UserIdentifier),
};

constexpr std::array kMdeNew = {
    MDE_INT(20503, Encoding),    MDE_INT(20504, CodedCharSetId), MDE_INT(20505, Flags),
    MDE_INT(20506, Offset),      MDE_INT(20507, MsgFlags),       MDE_INT(20508, OriginalLength),
    MDE_INT(20509, MsgSeqNumber), MDE_BIN(20510, GroupId),       MDE_CHR(20511, Format),
};

constexpr std::array kDlhNew = {
    DLH_INT(20178, CodedCharSetId), DLH_INT(20179, PutApplType), DLH_INT(20181, Reason),
    DLH_INT(20182, Encoding),       DLH_CHR(20050, DestQName),   DLH_CHR(20051, DestQMgrName),
    DLH_CHR(20052, Format),         DLH_CHR(20053, PutApplName),
};

constexpr std::array kXqhNew = {
    XMD_INT(20192, MsgType),        XMD_INT(20193, Persistence),    XMD_INT(20194, Priority),
    XMD_INT(20196, Report),         XMD_INT(20198, Expiry),         XMD_INT(20199, Encoding),
    XMD_INT(20200, CodedCharSetId), XMD_INT(20201, Feedback),       XMD_INT(20202, BackoutCount),
    XMD_INT(20203, PutApplType),    XQH_CHR(20056, RemoteQName),    XQH_CHR(20057, RemoteQMgrName),
    XMD_CHR(20058, Format),         XMD_BIN(20059, MsgId),          XMD_BIN(20060, CorrelId),
    XMD_CHR(20063, ReplyToQ),       XMD_CHR(20064, ReplyToQMgr),    XMD_BIN(20065, AccountingToken),
    XMD_CHR(20066, ApplIdentityData), XMD_CHR(20067, PutApplName),  XMD_CHR(20068, ApplOriginData),
    XMD_CHR(20069, UserIdentifier),
};

}  // namespace

std::span<const FieldSpec> MdIntCriteria() { return kMdIntCriteria; }
std::span<const FieldSpec> MdStringCriteria() { return kMdStringCriteria; }
std::span<const FieldSpec> MdV2Criteria() { return kMdV2Criteria; }
std::span<const FieldSpec> MdeCriteria() { return kMdeCriteria; }
std::span<const FieldSpec> DlhCriteria() { return kDlhCriteria; }
std::span<const FieldSpec> XqhCriteria() { return kXqhFields; }

std::span<const FieldSpec> MdResponseFields() { return kMdResponse; }
std::span<const FieldSpec> MdV2ResponseFields() { return kMdV2Response; }
std::span<const FieldSpec> MdeResponseFields() { return kMdeResponse; }
std::span<const FieldSpec> DlhResponseFields() { return kDlhResponse; }
std::span<const FieldSpec> XqhResponseFields() { return kXqhFields; }

std::span<const FieldSpec> MdModifyFields() { return kMdModify; }
std::span<const FieldSpec> MdV2ModifyFields() { return kMdV2Modify; }
std::span<const FieldSpec> MdeModifyFields() { return kMdeModify; }
std::span<const FieldSpec> DlhModifyFields() { return kDlhModify; }
std::span<const FieldSpec> XqhModifyFields() { return kXqhModify; }

std::span<const FieldSpec> MdNewFields() { return kMdNew; }
std::span<const FieldSpec> MdV2NewFields() { return kMdV2Response; }
std::span<const FieldSpec> MdeNewFields() { return kMdeNew; }
std::span<const FieldSpec> DlhNewFields() { return kDlhNew; }
std::span<const FieldSpec> XqhNewFields() { return kXqhNew; }

}  // namespace msgops
