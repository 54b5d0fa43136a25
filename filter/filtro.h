#pragma once

#include "host/data/formatsettings.h"
#include "host/framework/moduleexport.h"

#include <QString>

namespace aph {

// A choice of clients, employees or proposals: all of them, or the picked
// list. After a confirmation Lista is "T" whenever Todos is true.
struct TCLIENTE
{
    bool Todos = true;
    QString Lista;
};
struct TFUNCIONARIO
{
    bool Todos = true;
    QString Lista;
};
struct TPROPOSTA
{
    bool Todos = true;
    QString Lista;
};

// The filter the approval screen works with, as last confirmed.
struct TFILTRO
{
    TCLIENTE Cliente;
    TFUNCIONARIO Funcionario;
    TPROPOSTA Proposta;
    TDateTime DtInicial = 0;
    TDateTime DtFinal = 0;
    bool ComCHTGerada = false;
    bool SemCHTGerada = true;
    bool CHT_Aprovado = false;
    bool CHT_Pendente = true;
    bool CHT_Faturado = false;
    bool CHT_Nao_Faturar = false;
};

} // namespace aph

extern "C" {
// The one filter record of the module.
APH_MODULE_EXPORT extern aph::TFILTRO Filtro;
APH_MODULE_EXPORT extern const aph::TTypeDescriptor TypeInfo_TFILTRO;
APH_MODULE_EXPORT extern const aph::TTypeDescriptor TypeInfo_TCLIENTE;
APH_MODULE_EXPORT extern const aph::TTypeDescriptor TypeInfo_TFUNCIONARIO;
APH_MODULE_EXPORT extern const aph::TTypeDescriptor TypeInfo_TPROPOSTA;
}
