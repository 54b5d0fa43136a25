#include "server/admin/generator.h"

#include "host/data/formatsettings.h"
#include "server/sessions/roles.h"
#include "server/storage/pendingdays.h"
#include "server/storage/storage.h"

#include <QDate>
#include <QStringList>

#include <cstdint>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// A fixed pseudo-random sequence (64-bit LCG, high bits), the same on every
// platform, so generated data never depends on the library's distributions.
class TRandom
{
public:
    explicit TRandom(std::uint64_t seed) : m_state(seed) {}
    std::uint32_t Next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(m_state >> 33);
    }
    // Percent chance.
    bool Chance(int percent) { return static_cast<int>(Next() % 100) < percent; }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint64_t m_state;
};

QVariant Null()
{
    return QVariant(QMetaType::fromType<QString>());
}

QVariant NullNumber()
{
    return QVariant(QMetaType::fromType<double>());
}

QString Code(const char* prefix, qint64 n, int width)
{
    return QString::fromUtf8(prefix) + u"%1"_s.arg(n, width, 10, QLatin1Char('0'));
}

const QStringList kCsaColumns = {
    u"NRPROPOSFAS"_s, u"NRVERPROPFAS"_s, u"NRSERVCONT"_s,   u"CDFUNC"_s,
    u"DTSERVPREST"_s, u"CDEMPRESA"_s,    u"NRSERVPREST"_s,  u"NRAPURFATFAS"_s,
    u"QTHRTRAB"_s,    u"QTHRAPROFATU"_s, u"QTHRAPRCOMIS"_s, u"CDGRPOCOR"_s,
    u"CDOCORR"_s,     u"NRSEQUCHT"_s,    u"CDOPERINCL"_s,   u"DTINCLUSAO"_s};

const QStringList kChtColumns = {
    u"NRSEQUCHT"_s,   u"DSREFECHT"_s,    u"DTINCLCHT"_s,  u"CDOPERINCL"_s, u"IDSTATUSCHT"_s,
    u"NRPROPOSFAS"_s, u"NRVERPROPFAS"_s, u"NRSERVCONT"_s, u"CDFUNC"_s,     u"CDEMPRESA"_s};

void Insert(TStorage& storage, const char* table, const QStringList& columns,
            const QList<QVariantList>& rows)
{
    auto writer = storage.BulkWriter(QString::fromLatin1(table), columns);
    for (const QVariantList& row : rows)
        writer->Add(row);
    writer->Flush();
}

void BaseTables(TStorage& storage)
{
    Insert(storage, "OCORRENCIA", {u"CDGRPOCOR"_s, u"CDOCORR"_s, u"DSOCORR"_s},
           {{u"01"_s, u"01"_s, u"Falta justificada"_s},
            {u"01"_s, u"02"_s, u"Atestado médico"_s},
            {u"02"_s, u"01"_s, u"Hora extra não autorizada"_s},
            {u"02"_s, u"02"_s, u"Treinamento interno"_s},
            {u"03"_s, u"01"_s, u"Ajuste de apontamento"_s},
            {u"03"_s, u"02"_s, u"Deslocamento não faturável"_s}});
    Insert(storage, "TIPOSERV", {u"CDTIPOSERV"_s, u"NMTIPOSERV"_s},
           {{u"CON"_s, u"Consultoria"_s},
            {u"DES"_s, u"Desenvolvimento de sistemas"_s},
            {u"SUP"_s, u"Suporte técnico"_s},
            {u"TRE"_s, u"Treinamento"_s},
            {u"IMP"_s, u"Implantação"_s}});
}

// One employee's day on one service: hours, and the approvals of a CSA
// already in a CHT.
struct TDayPlan
{
    bool Worked = false;
    double Hours = 0;
};

TDayPlan PlanDay(TRandom& random, const QDate& date, int gapPercent, int weekendPercent)
{
    TDayPlan plan;
    const bool weekend = date.dayOfWeek() >= 6;
    if (weekend) {
        if (random.Chance(weekendPercent)) {
            plan.Worked = true;
            plan.Hours = 2 + random.Below(9) * 0.5; // 2:00 to 6:00
        }
        return plan;
    }
    if (random.Chance(gapPercent))
        return plan;
    plan.Worked = true;
    if (random.Chance(12))
        plan.Hours = 8.5 + random.Below(6) * 0.5; // overtime, up to 11:00
    else if (random.Chance(8))
        plan.Hours = 4 + random.Below(8) * 0.25; // a short day
    else
        plan.Hours = 8;
    return plan;
}

// The demo's clients: their CNPJs and CPF have right check digits, as an
// import of them requires.
void DemoClients(TStorage& storage)
{
    Insert(
        storage, "CLIENTE",
        {u"CDCLIENTE"_s, u"NMFANTCLIE"_s, u"NMRAZSOCCLIE"_s, u"NRINSJURCLIE"_s, u"IDTPIJURCLIE"_s},
        {{u"000101"_s, u"Metalúrgica Aurora"_s, u"Metalúrgica Aurora Ltda."_s, u"12345678000195"_s,
          u"J"_s},
         {u"000102"_s, u"Banco Horizonte"_s, u"Banco Horizonte S.A."_s, u"98765432000198"_s,
          u"J"_s},
         {u"000103"_s, u"Dr. Paulo Mendes"_s, u"Paulo Mendes"_s, u"12345678909"_s, u"F"_s},
         {u"000104"_s, u"Cooperativa Vale Verde"_s, u"Cooperativa Agrícola Vale Verde"_s,
          u"45678912000155"_s, u"J"_s}});
}

// The firm that issues the client's statements (a CNPJ whose check digits
// are right).
void DemoIssuer(TStorage& storage)
{
    storage.Exec(u"UPDATE PARAMGERAL SET NMEMITENTE = ?, NRCNPJEMITENTE = ? WHERE "
                 "IDPARAMGERAL = 1"_s,
                 {u"Lumen Consultoria em Sistemas Ltda."_s, u"45781296000163"_s});
}

// Every employee is an operator too (the employee picker lists active
// operators); Fábio's operator is inactive.
void DemoEmployeesAndOperators(TStorage& storage)
{
    Insert(storage, "FUNCIONARIO", {u"CDFUNC"_s, u"NMFUNC"_s, u"CDEMPRESA"_s},
           {{u"F0001"_s, u"Ana Beatriz Souza"_s, u"01"_s},
            {u"F0002"_s, u"Bruno Carvalho"_s, u"01"_s},
            {u"F0003"_s, u"Carla Dias Ferreira"_s, u"01"_s},
            {u"F0004"_s, u"Diego Almeida"_s, u"01"_s},
            {u"F0005"_s, u"Elisa Nakamura"_s, u"02"_s},
            {u"F0006"_s, u"Fábio Gonçalves"_s, u"02"_s},
            {u"F0007"_s, u"Gabriela Rocha"_s, u"02"_s}});
    Insert(storage, "OPERADOR", {u"CDOPERADOR"_s, u"NMOPERADOR"_s, u"CDFUNC"_s, u"IDOPERATIVO"_s},
           {{u"ADMIN"_s, u"Administrador"_s, Null(), u"A"_s},
            {u"ANA"_s, u"Ana Beatriz Souza"_s, u"F0001"_s, u"A"_s},
            {u"BRUNO"_s, u"Bruno Carvalho"_s, u"F0002"_s, u"A"_s},
            {u"CARLA"_s, u"Carla Dias Ferreira"_s, u"F0003"_s, u"A"_s},
            {u"DIEGO"_s, u"Diego Almeida"_s, u"F0004"_s, u"A"_s},
            {u"ELISA"_s, u"Elisa Nakamura"_s, u"F0005"_s, u"A"_s},
            {u"FABIO"_s, u"Fábio Gonçalves"_s, u"F0006"_s, u"I"_s},
            {u"GABRIELA"_s, u"Gabriela Rocha"_s, u"F0007"_s, u"A"_s}});
    // A firm's usual split of duties: the administrator does everything;
    // Ana coordinates (approves days, generates and approves CHTs); Bruno
    // and Fábio are clerks; Carla bills; Diego only approves days; Elisa
    // only consults; Gabriela supervises the CHTs the clerks generate.
    using R = TRole;
    const std::pair<const char*, TRoles> roles[] = {
        {"ADMIN", kAllRoles},
        {"ANA", kDefaultRoles | RoleBit(R::Supervisionar)},
        {"BRUNO", kDefaultRoles},
        {"CARLA", RoleBit(R::Consultar) | RoleBit(R::Faturar)},
        {"DIEGO", RoleBit(R::Consultar) | RoleBit(R::Aprovar)},
        {"ELISA", RoleBit(R::Consultar)},
        {"FABIO", kDefaultRoles},
        {"GABRIELA", RoleBit(R::Consultar) | RoleBit(R::Supervisionar)},
    };
    for (const auto& [code, held] : roles)
        InsertRoles(storage, QString::fromLatin1(code), held);
}

void DemoProposals(TStorage& storage)
{
    Insert(storage, "PROPOSTA",
           {u"NRPROPOSFAS"_s, u"NRVERPROPFAS"_s, u"CDCLIENTE"_s, u"NRPROPOSTA"_s,
            u"DSREFEPROPOSFAS"_s, u"CDFILIAL"_s},
           {{u"2024-0101"_s, u"01"_s, u"000101"_s, u"PROP 2024/0101-01"_s,
             u"Modernização do ERP industrial"_s, u"0001"_s},
            {u"2024-0101"_s, u"02"_s, u"000101"_s, u"PROP 2024/0101-02"_s,
             u"Modernização do ERP industrial - aditivo"_s, u"0001"_s},
            {u"2024-0202"_s, u"01"_s, u"000102"_s, u"PROP 2024/0202-01"_s,
             u"Suporte ao internet banking"_s, u"0001"_s},
            {u"2024-0303"_s, u"01"_s, u"000103"_s, u"PROP 2024/0303-01"_s,
             u"Consultoria tributária"_s, u"0001"_s},
            {u"2024-0404"_s, u"01"_s, u"000104"_s, u"PROP 2024/0404-01"_s,
             u"Implantação do controle de safra"_s, u"0002"_s}});
}

// A contracted service of the demo data and the employees who work on it.
struct TDemoService
{
    const char *Proposal, *Version, *Number, *Type;
    double Quantity;
    const char *Place, *Billing;
    double Rate, BillRate;
    QStringList Employees;
};

QList<TDemoService> DemoServiceList()
{
    return {
        {"2024-0101",
         "01",
         "001",
         "DES",
         320,
         "Fábrica - Joinville",
         "H",
         150,
         150,
         {u"F0001"_s, u"F0002"_s, u"F0005"_s}},
        {"2024-0101", "01", "002", "TRE", 40, "Fábrica - Joinville", "F", 180, 200, {u"F0003"_s}},
        {"2024-0101", "02", "001", "DES", 80, "Remoto", "H", 160, 160, {u"F0002"_s}},
        {"2024-0202",
         "01",
         "001",
         "SUP",
         200,
         "Sede - São Paulo",
         "P",
         0,
         120,
         {u"F0004"_s, u"F0006"_s, u"F0007"_s}},
        {"2024-0303", "01", "001", "CON", 60, "Escritório do cliente", "F", 250, 250, {u"F0005"_s}},
        {"2024-0404",
         "01",
         "001",
         "IMP",
         120,
         "Fazenda Boa Vista - Rio Verde",
         "H",
         140,
         135,
         {u"F0003"_s, u"F0007"_s}},
    };
}

void DemoServices(TStorage& storage, const QList<TDemoService>& services)
{
    QList<QVariantList> serviceRows;
    for (const TDemoService& s : services)
        serviceRows << QVariantList{QString::fromUtf8(s.Proposal),
                                    QString::fromUtf8(s.Version),
                                    QString::fromUtf8(s.Number),
                                    QString::fromUtf8(s.Type),
                                    s.Quantity,
                                    QString::fromUtf8(s.Place),
                                    QString::fromUtf8(s.Billing),
                                    s.Rate,
                                    s.BillRate};
    Insert(storage, "SERVCONT",
           {u"NRPROPOSFAS"_s, u"NRVERPROPFAS"_s, u"NRSERVCONT"_s, u"CDTIPOSERV"_s, u"QTSERVCONT"_s,
            u"DSLOCALCONT"_s, u"IDTIPOCOBRCONT"_s, u"VRHORACLIE"_s, u"VRDEHORACLIE"_s},
           serviceRows);
}

// January and February of one employee on one service: January's days
// approved and in the CHT cht, February's without CHT, some approved.
void DemoDays(QList<QVariantList>& csas, TRandom& random, const TDemoService& s,
              const QString& employee, const QString& company, int chtCount, const QString& cht,
              int& csaNumber)
{
    const QDate january(2025, 1, 1);
    const QDate march(2025, 3, 1);
    for (QDate day = january; day < march; day = day.addDays(1)) {
        const TDayPlan plan = PlanDay(random, day, 10, 20);
        if (!plan.Worked)
            continue;
        const bool inCht = day.month() == 1;
        QVariant fatu = NullNumber(), comis = NullNumber(), grp = Null(), ocorr = Null();
        if (inCht || random.Chance(40)) {
            fatu = plan.Hours;
            comis = plan.Hours;
            if (plan.Hours > 8 && random.Chance(50)) {
                comis = 8.0; // overtime not paid as commission
                grp = u"02"_s;
                ocorr = u"01"_s;
            }
        }
        const double recorded = DateToOle(day) + 1 + 0.75; // the next evening
        csas << QVariantList{QString::fromUtf8(s.Proposal),
                             QString::fromUtf8(s.Version),
                             QString::fromUtf8(s.Number),
                             employee,
                             static_cast<qint64>(DateToOle(day)),
                             company,
                             Code("", ++csaNumber % 100000, 5),
                             inCht ? QVariant(Code("AP", chtCount, 8)) : Null(),
                             plan.Hours,
                             fatu,
                             comis,
                             grp,
                             ocorr,
                             inCht ? QVariant(cht) : Null(),
                             u"ADMIN"_s,
                             recorded};
    }
}

// January goes into CHTs, in turn pending, approved, billed and "do not
// bill"; February stays without CHT. Returns the number of CHTs.
int DemoChtsAndCsas(TStorage& storage, const QList<TDemoService>& services)
{
    const QStringList statuses = {u"P"_s, u"A"_s, u"R"_s, u"N"_s};
    TRandom random(31500);
    QList<QVariantList> chts, csas;
    int chtCount = 0, csaNumber = 0;
    for (const TDemoService& s : services) {
        for (const QString& employee : s.Employees) {
            const QString company = employee >= u"F0005" ? u"02"_s : u"01"_s;
            const QString cht = Code("", ++chtCount, 5);
            const QString status = statuses[(chtCount - 1) % statuses.size()];
            chts << QVariantList{cht,
                                 u"CHT de 01/01/2025 a 31/01/2025"_s,
                                 DateToOle(QDate(2025, 2, 3)) + 0.4,
                                 u"ADMIN"_s,
                                 status,
                                 QString::fromUtf8(s.Proposal),
                                 QString::fromUtf8(s.Version),
                                 QString::fromUtf8(s.Number),
                                 employee,
                                 company};
            DemoDays(csas, random, s, employee, company, chtCount, cht, csaNumber);
        }
    }
    Insert(storage, "CHT", kChtColumns, chts);
    Insert(storage, "CSA", kCsaColumns, csas);
    return chtCount;
}

// The sizes of a scale database, from the number of CSAs wanted.
struct TScalePlan
{
    static constexpr int kMonths = 9;
    static constexpr int kEmployeesPerService = 5;
    static constexpr int kServicesPerProposal = 3;
    static constexpr int kProposalsPerClient = 8;
    static constexpr int kCsasPerPair = 170; // a little under the expected, so pairs suffice
    static constexpr qint64 kLastGeneratedCht = 80000; // leaves numbers for SetCHT

    explicit TScalePlan(qint64 csaCount)
        : CsaCount(csaCount), Pairs(csaCount / kCsasPerPair + 2),
          Services((Pairs + kEmployeesPerService - 1) / kEmployeesPerService),
          Employees(std::max<qint64>(kEmployeesPerService, (Pairs + 1) / 2)),
          Proposals((Services + kServicesPerProposal - 1) / kServicesPerProposal),
          Clients((Proposals + kProposalsPerClient - 1) / kProposalsPerClient)
    {}

    qint64 CsaCount, Pairs, Services, Employees, Proposals, Clients;

    static qint64 ProposalOf(qint64 service) { return service / kServicesPerProposal; }
    qint64 EmployeeOf(qint64 service, int k) const
    {
        return (service * kEmployeesPerService + k) % Employees;
    }
};

void ScaleClients(TStorage& storage, const TScalePlan& plan)
{
    auto w = storage.BulkWriter(u"CLIENTE"_s, {u"CDCLIENTE"_s, u"NMFANTCLIE"_s, u"NMRAZSOCCLIE"_s,
                                               u"NRINSJURCLIE"_s, u"IDTPIJURCLIE"_s});
    for (qint64 c = 0; c < plan.Clients; ++c)
        w->Add({Code("C", c, 6), Code("Cliente ", c, 6), Code("Cliente Ltda. ", c, 6),
                Code("", 10000000000000LL + c, 14), u"J"_s});
    w->Flush();
}

void ScaleEmployeesAndOperators(TStorage& storage, const TScalePlan& plan)
{
    auto w = storage.BulkWriter(u"FUNCIONARIO"_s, {u"CDFUNC"_s, u"NMFUNC"_s, u"CDEMPRESA"_s});
    auto o = storage.BulkWriter(u"OPERADOR"_s,
                                {u"CDOPERADOR"_s, u"NMOPERADOR"_s, u"CDFUNC"_s, u"IDOPERATIVO"_s});
    for (qint64 e = 0; e < plan.Employees; ++e)
        w->Add({Code("F", e, 7), Code("Funcionário ", e, 7), e % 2 ? u"02"_s : u"01"_s});
    w->Flush(); // before the operators that name them
    o->Add({u"ADMIN"_s, u"Administrador"_s, Null(), u"A"_s});
    for (qint64 e = 0; e < plan.Employees; ++e)
        o->Add({Code("OP", e, 7), Code("Funcionário ", e, 7), Code("F", e, 7), u"A"_s});
    o->Flush();
    // The administrator holds every role; the others what a new operator
    // gets.
    InsertRoles(storage, u"ADMIN"_s, kAllRoles);
    for (const TRole role : {TRole::Consultar, TRole::Aprovar, TRole::Gerar})
        storage.Exec(u"INSERT INTO APH_PAPEL (CDOPERADOR, DSPAPEL) SELECT CDOPERADOR, CAST(? AS "
                     u"VARCHAR(13)) FROM "
                     "OPERADOR WHERE CDOPERADOR <> 'ADMIN'"_s,
                     {RoleName(role)});
}

void ScaleProposals(TStorage& storage, const TScalePlan& plan)
{
    auto w =
        storage.BulkWriter(u"PROPOSTA"_s, {u"NRPROPOSFAS"_s, u"NRVERPROPFAS"_s, u"CDCLIENTE"_s,
                                           u"NRPROPOSTA"_s, u"DSREFEPROPOSFAS"_s, u"CDFILIAL"_s});
    for (qint64 p = 0; p < plan.Proposals; ++p)
        w->Add({Code("P", p, 7), u"01"_s, Code("C", p / TScalePlan::kProposalsPerClient, 6),
                Code("PROP ", p, 7), Code("Proposta ", p, 7), u"0001"_s});
    w->Flush();
}

void ScaleServices(TStorage& storage, const TScalePlan& plan)
{
    const QStringList types = {u"CON"_s, u"DES"_s, u"SUP"_s, u"TRE"_s, u"IMP"_s};
    const QStringList billing = {u"H"_s, u"F"_s, u"P"_s};
    auto w = storage.BulkWriter(u"SERVCONT"_s,
                                {u"NRPROPOSFAS"_s, u"NRVERPROPFAS"_s, u"NRSERVCONT"_s,
                                 u"CDTIPOSERV"_s, u"QTSERVCONT"_s, u"DSLOCALCONT"_s,
                                 u"IDTIPOCOBRCONT"_s, u"VRHORACLIE"_s, u"VRDEHORACLIE"_s});
    for (qint64 s = 0; s < plan.Services; ++s) {
        const int k = static_cast<int>(s % TScalePlan::kServicesPerProposal);
        w->Add({Code("P", TScalePlan::ProposalOf(s), 7), u"01"_s, Code("", k + 1, 3), types[k],
                160.0, u"Local do contrato"_s, billing[static_cast<int>(s % 3)], 150.0, 145.0});
    }
    w->Flush();
}

// Every pair's CSAs over the months, day by day, until the count is
// reached; each of the first three months in a CHT of its own: January's
// approved, February's billed, March's pending. Returns the last CHT
// number used.
qint64 ScaleCsasAndChts(TStorage& storage, const TScalePlan& plan)
{
    const QDate first(2025, 1, 1);
    const QDate end = first.addMonths(TScalePlan::kMonths);
    const QDate chtEnd = first.addMonths(3);
    auto csa = storage.BulkWriter(u"CSA"_s, kCsaColumns);
    auto cht = storage.BulkWriter(u"CHT"_s, kChtColumns);
    TRandom random(20250101);
    qint64 written = 0, chtNumber = 0;
    for (qint64 pair = 0; pair < plan.Pairs && written < plan.CsaCount; ++pair) {
        const qint64 service = pair / TScalePlan::kEmployeesPerService;
        const qint64 employee =
            plan.EmployeeOf(service, static_cast<int>(pair % TScalePlan::kEmployeesPerService));
        const QString proposal = Code("P", TScalePlan::ProposalOf(service), 7);
        const QString number = Code("", service % TScalePlan::kServicesPerProposal + 1, 3);
        const QString func = Code("F", employee, 7);
        const QString company = employee % 2 ? u"02"_s : u"01"_s;
        QString currentCht;
        int chtMonth = 0;
        for (QDate day = first; day < end && written < plan.CsaCount; day = day.addDays(1)) {
            const TDayPlan dayPlan = PlanDay(random, day, 4, 6);
            if (!dayPlan.Worked)
                continue;
            if (day < chtEnd && chtMonth != day.month() &&
                chtNumber < TScalePlan::kLastGeneratedCht) {
                chtMonth = day.month();
                currentCht = Code("", ++chtNumber, 5);
                cht->Add({currentCht, u"CHT mensal"_s, DateToOle(day.addMonths(1)), u"ADMIN"_s,
                          QStringList{u"A"_s, u"R"_s, u"P"_s}[(chtMonth - 1) % 3], proposal,
                          u"01"_s, number, func, company});
            }
            const bool inCht = day < chtEnd && chtMonth == day.month();
            csa->Add({proposal, u"01"_s, number, func, static_cast<qint64>(DateToOle(day)), company,
                      Code("", written % 100000, 5), Null(), dayPlan.Hours,
                      inCht ? QVariant(dayPlan.Hours) : NullNumber(),
                      inCht ? QVariant(dayPlan.Hours) : NullNumber(), Null(), Null(),
                      inCht ? QVariant(currentCht) : Null(), u"ADMIN"_s, DateToOle(day) + 1.75});
            ++written;
        }
    }
    cht->Flush();
    csa->Flush();
    return chtNumber;
}

void SetChtSequence(TStorage& storage, qint64 last)
{
    storage.Exec(u"UPDATE APH_SEQUENCIA SET NRVALOR = ? WHERE NMSEQUENCIA = 'CHT'"_s, {last});
}

} // namespace

void GenerateDemo(TStorage& storage)
{
    TTransaction tx(storage, TTransaction::Mode::Write);
    BaseTables(storage);
    DemoIssuer(storage);
    DemoClients(storage);
    DemoEmployeesAndOperators(storage);
    DemoProposals(storage);
    const QList<TDemoService> services = DemoServiceList();
    DemoServices(storage, services);
    SetChtSequence(storage, DemoChtsAndCsas(storage, services));
    RebuildPendingFixed(storage);
    tx.Commit();
}

void GenerateScale(TStorage& storage, qint64 csaCount)
{
    const TScalePlan plan(csaCount);
    storage.BeginBulkLoad();
    TTransaction tx(storage, TTransaction::Mode::Write);
    BaseTables(storage);
    ScaleClients(storage, plan);
    ScaleEmployeesAndOperators(storage, plan);
    ScaleProposals(storage, plan);
    ScaleServices(storage, plan);
    SetChtSequence(storage, ScaleCsasAndChts(storage, plan));
    RebuildPendingFixed(storage);
    tx.Commit();
    storage.EndBulkLoad();
    storage.ExecDirect(u"ANALYZE"_s);
}

} // namespace aph
