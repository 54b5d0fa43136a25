// The module as the host meets it: a file to dlopen, symbols to look up.
// The package's own header gives the exported table's layout and the entry
// points' types, so a change of the module's interface breaks this test.
#include "approval/cli_aph31500.h"
#include "filter/cli_aph31501.h"
#include "host/framework/basescreens.h"
#include "host/framework/dbquery.h"
#include "host/framework/environment.h"
#include "host/framework/moduleexport.h"
#include "host/framework/modules.h"
#include "package/pkg_aph31500.h"
#include "tests/support/env.h"
#include "tests/support/scripted_desktop.h"
#include "tests/support/serverfixture.h"
#include "tests/support/text.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class ModuleLoad : public ServerTest
{};

} // namespace

TEST_F(ModuleLoad, TheHostLoadsTheModuleAndRunsIniProcThroughItsSymbol)
{
    // A copy of the module with a language resource beside it.
    QTemporaryDir dir;
    const QString module = dir.filePath(u"libPkg_Aph31500.so"_s);
    ASSERT_TRUE(QFile::copy(QString::fromUtf8(APH_MODULE_FILE), module));
    {
        QFile resource(module + u".pt_BR"_s);
        ASSERT_TRUE(resource.open(QIODevice::WriteOnly));
        resource.write("APH31501:Cli_Inf|Informe ao menos um cliente\n");
    }
    ScopedEnv lang("LANG", "pt_BR.UTF-8"), all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr);

    void* handle = dlopen(module.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    const QList<TModuleInfo> loaded = LoadedModules();
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded[0].FileName, module);
    EXPECT_EQ(loaded[0].ResourceFile, module + u".pt_BR"_s);

    const auto table =
        reinterpret_cast<decltype(&::GetPackageInfoTable)>(dlsym(handle, "GetPackageInfoTable"))();
    ASSERT_NE(table, nullptr);
    QStringList units;
    for (int i = 0; i < table->UnitCount; ++i)
        units << QString::fromLatin1(table->Units[i].Name);
    EXPECT_EQ(units, (QStringList{u"Aph.Data"_s, u"Aph.Framework"_s, u"Cli_aph31500"_s,
                                  u"Cli_aph31501"_s}));
    for (const char* symbol : {"IniProc", "Initialize", "Finalize", "frmAprovaHoras", "boIdCriado",
                               "dbvtf", "stlMarcado", "Filtro", "frmFiltroCsa", "TypeInfo_TFILTRO",
                               "TypeInfo_TCLIENTE", "TypeInfo_TFUNCIONARIO", "TypeInfo_TPROPOSTA"})
        EXPECT_NE(dlsym(handle, symbol), nullptr) << symbol;
    EXPECT_EQ(dlsym(handle, "_ZN3aph15TfrmAprovaHoras11TotalizaCSAEv"), nullptr)
        << "nothing else is exported";

    ScriptedDesktop desktop;
    SetHostEnvironment(
        {u"ANA"_s, u"0001"_s, u"127.0.0.1"_s, m_server->Port(), m_token, m_db->Spec()});
    dtmDBGeral()->Open(m_db->Spec());
    reinterpret_cast<decltype(&::Initialize)>(dlsym(handle, "Initialize"))();
    bool& criado = *static_cast<decltype(&::boIdCriado)>(dlsym(handle, "boIdCriado"));
    EXPECT_FALSE(criado);
    QString clientMessage;
    desktop.modal.push_back([&](TForm& form) {
        auto& dialog = dynamic_cast<TfrmFiltroPadrao&>(form);
        clientMessage = dialog.msgPadrao->Msg(u"Cli_Inf"_s);
        UserClick(dialog.sbtConfirma);
    });
    reinterpret_cast<decltype(&::IniProc)>(dlsym(handle, "IniProc"))();
    EXPECT_TRUE(criado);
    EXPECT_EQ(clientMessage, u"Informe ao menos um cliente"_s)
        << "the language resource replaces the text";
    EXPECT_TRUE(desktop.errors.isEmpty()) << desktop.errors.join(u'\n').toStdString();

    // The filter record reads through its exported type descriptor.
    const auto* type = static_cast<const TTypeDescriptor*>(dlsym(handle, "TypeInfo_TFILTRO"));
    ASSERT_EQ(type->MemberCount, 11u);
    EXPECT_STREQ(type->Members[3].Name, "DtInicial");
    const char* filtro = static_cast<const char*>(dlsym(handle, "Filtro"));
    EXPECT_EQ(OleToDate(*reinterpret_cast<const double*>(filtro + type->Members[3].Offset)),
              QDate(2008, 6, 21));

    reinterpret_cast<decltype(&::Finalize)>(dlsym(handle, "Finalize"))();
    EXPECT_FALSE(criado);
    EXPECT_EQ(*static_cast<decltype(&::frmFiltroCsa)>(dlsym(handle, "frmFiltroCsa")), nullptr);
    dtmDBGeral()->Close();
    EXPECT_EQ(dlclose(handle), 0);
    EXPECT_TRUE(LoadedModules().isEmpty()) << "unloading leaves the list";
}
