#pragma once

#include "server/rpc/paramdecoder.h"

namespace aph {

// Each method's positional params, in the order the screens pass them,
// and the request member each one fills (see DecodeRequest).

// GetServPrest and GetPendencias.
inline constexpr TParamField<TGetServPrestRequest> kServPrestFields[] = {
    {"Start", TParamKind::Day, &TGetServPrestRequest::Start},
    {"End", TParamKind::Day, &TGetServPrestRequest::End},
    {"Clients", TParamKind::Text, &TGetServPrestRequest::Clients},
    {"Employees", TParamKind::Text, &TGetServPrestRequest::Employees},
    {"Proposals", TParamKind::Text, &TGetServPrestRequest::Proposals},
    {"CsaSituation", TParamKind::Text, &TGetServPrestRequest::CsaSituation},
    {"Operator", TParamKind::Operator, &TGetServPrestRequest::Operator},
    {"ChtSituation", TParamKind::Text, &TGetServPrestRequest::ChtSituation},
};

inline constexpr TParamField<TGetPropRequest> kPropFields[] = {
    {"Branch", TParamKind::Text, &TGetPropRequest::Branch},
    {"Clients", TParamKind::Text, &TGetPropRequest::Clients},
    {"AllClients", TParamKind::Text, &TGetPropRequest::AllClients},
};

inline constexpr TParamField<TGetFuncRequest> kFuncFields[] = {
    {"Start", TParamKind::Day, &TGetFuncRequest::Start},
    {"End", TParamKind::Day, &TGetFuncRequest::End},
    {"Client", TParamKind::Text, &TGetFuncRequest::Client},
    {"ActivityType", TParamKind::Text, &TGetFuncRequest::ActivityType},
    {"Proposal", TParamKind::Text, &TGetFuncRequest::Proposal},
    {"Version", TParamKind::Text, &TGetFuncRequest::Version},
    {"Service", TParamKind::Text, &TGetFuncRequest::Service},
    {"AllEmployees", TParamKind::Text, &TGetFuncRequest::AllEmployees},
    {"Employees", TParamKind::Text, &TGetFuncRequest::Employees},
    {"CsaSituation", TParamKind::Text, &TGetFuncRequest::CsaSituation},
    {"ChtSituation", TParamKind::Text, &TGetFuncRequest::ChtSituation},
};

inline constexpr TParamField<TGetChtRequest> kChtFields[] = {
    {"ActivityType", TParamKind::Text, &TGetChtRequest::ActivityType},
    {"Proposal", TParamKind::Text, &TGetChtRequest::Proposal},
    {"Version", TParamKind::Text, &TGetChtRequest::Version},
    {"Start", TParamKind::Day, &TGetChtRequest::Start},
    {"End", TParamKind::Day, &TGetChtRequest::End},
    {"Employee", TParamKind::Text, &TGetChtRequest::Employee},
    {"Company", TParamKind::Text, &TGetChtRequest::Company},
    {"ChtSituation", TParamKind::Text, &TGetChtRequest::ChtSituation},
};

inline constexpr TParamField<TGetCsaRequest> kCsaFields[] = {
    {"Client", TParamKind::Text, &TGetCsaRequest::Client},
    {"Employee", TParamKind::Text, &TGetCsaRequest::Employee},
    {"Start", TParamKind::Day, &TGetCsaRequest::Start},
    {"End", TParamKind::Day, &TGetCsaRequest::End},
    {"ActivityType", TParamKind::Text, &TGetCsaRequest::ActivityType},
    {"Proposal", TParamKind::Text, &TGetCsaRequest::Proposal},
    {"Version", TParamKind::Text, &TGetCsaRequest::Version},
    {"ChtNumber", TParamKind::Text, &TGetCsaRequest::ChtNumber},
    {"Flag", TParamKind::Text, &TGetCsaRequest::Flag},
    {"Company", TParamKind::Text, &TGetCsaRequest::Company},
};

inline constexpr TParamField<TGetHistCsaRequest> kHistCsaFields[] = {
    {"Proposal", TParamKind::Text, &TGetHistCsaRequest::Proposal},
    {"Version", TParamKind::Text, &TGetHistCsaRequest::Version},
    {"Service", TParamKind::Text, &TGetHistCsaRequest::Service},
    {"Employee", TParamKind::Text, &TGetHistCsaRequest::Employee},
    {"Day", TParamKind::Day, &TGetHistCsaRequest::Day},
};

inline constexpr TParamField<TChtStatusRequest> kChtStatusFields[] = {
    {"Cht", TParamKind::Cht, &TChtStatusRequest::Cht},
    {"Action", TParamKind::Action, &TChtStatusRequest::Action},
    {"Reason", TParamKind::Trimmed, &TChtStatusRequest::Reason},
    {"Invoice", TParamKind::Trimmed, &TChtStatusRequest::Invoice},
};

// SetCHT and GetPrevCHT.
inline constexpr TParamField<TSetChtRequest> kSetChtFields[] = {
    {"Start", TParamKind::Day, &TSetChtRequest::Start},
    {"End", TParamKind::Day, &TSetChtRequest::End},
    {"Operator", TParamKind::Operator, &TSetChtRequest::Operator},
    {"Clients", TParamKind::Text, &TSetChtRequest::Clients},
    {"AllClients", TParamKind::Text, &TSetChtRequest::AllClients},
    {"Employees", TParamKind::Text, &TSetChtRequest::Employees},
    {"AllEmployees", TParamKind::Text, &TSetChtRequest::AllEmployees},
    {"Proposals", TParamKind::Text, &TSetChtRequest::Proposals},
    {"AllProposals", TParamKind::Text, &TSetChtRequest::AllProposals},
};

} // namespace aph
