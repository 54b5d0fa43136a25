#include "filter/filtro.h"

#include <cstddef>

using namespace aph;

// offsetof on these standard-layout-in-practice records is what the host
// reads them by.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

namespace {

template <class T>
constexpr TTypeMember ChoiceMembers[] = {
    {"Todos", "Boolean", offsetof(T, Todos), sizeof(bool)},
    {"Lista", "QString", offsetof(T, Lista), sizeof(QString)},
};

constexpr TTypeMember FiltroMembers[] = {
    {"Cliente", "TCLIENTE", offsetof(TFILTRO, Cliente), sizeof(TCLIENTE)},
    {"Funcionario", "TFUNCIONARIO", offsetof(TFILTRO, Funcionario), sizeof(TFUNCIONARIO)},
    {"Proposta", "TPROPOSTA", offsetof(TFILTRO, Proposta), sizeof(TPROPOSTA)},
    {"DtInicial", "TDateTime", offsetof(TFILTRO, DtInicial), sizeof(TDateTime)},
    {"DtFinal", "TDateTime", offsetof(TFILTRO, DtFinal), sizeof(TDateTime)},
    {"ComCHTGerada", "Boolean", offsetof(TFILTRO, ComCHTGerada), sizeof(bool)},
    {"SemCHTGerada", "Boolean", offsetof(TFILTRO, SemCHTGerada), sizeof(bool)},
    {"CHT_Aprovado", "Boolean", offsetof(TFILTRO, CHT_Aprovado), sizeof(bool)},
    {"CHT_Pendente", "Boolean", offsetof(TFILTRO, CHT_Pendente), sizeof(bool)},
    {"CHT_Faturado", "Boolean", offsetof(TFILTRO, CHT_Faturado), sizeof(bool)},
    {"CHT_Nao_Faturar", "Boolean", offsetof(TFILTRO, CHT_Nao_Faturar), sizeof(bool)},
};

} // namespace

#pragma GCC diagnostic pop

extern "C" {
TFILTRO Filtro;
const TTypeDescriptor TypeInfo_TFILTRO = {"TFILTRO", sizeof(TFILTRO), FiltroMembers,
                                          std::size(FiltroMembers)};
const TTypeDescriptor TypeInfo_TCLIENTE = {"TCLIENTE", sizeof(TCLIENTE), ChoiceMembers<TCLIENTE>,
                                           2};
const TTypeDescriptor TypeInfo_TFUNCIONARIO = {"TFUNCIONARIO", sizeof(TFUNCIONARIO),
                                               ChoiceMembers<TFUNCIONARIO>, 2};
const TTypeDescriptor TypeInfo_TPROPOSTA = {"TPROPOSTA", sizeof(TPROPOSTA),
                                            ChoiceMembers<TPROPOSTA>, 2};
}
