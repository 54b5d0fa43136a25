#include "generator.h"

#include "approvalservice.h"
#include "host/data/formatsettings.h"
#include "storage.h"

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
    return QString::fromLatin1(prefix) + QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0'));
}

const QStringList kCsaColumns = {
    QStringLiteral("NRPROPOSFAS"),  QStringLiteral("NRVERPROPFAS"), QStringLiteral("NRSERVCONT"),
    QStringLiteral("CDFUNC"),       QStringLiteral("DTSERVPREST"),  QStringLiteral("CDEMPRESA"),
    QStringLiteral("NRSERVPREST"),  QStringLiteral("NRAPURFATFAS"), QStringLiteral("QTHRTRAB"),
    QStringLiteral("QTHRAPROFATU"), QStringLiteral("QTHRAPRCOMIS"), QStringLiteral("CDGRPOCOR"),
    QStringLiteral("CDOCORR"),      QStringLiteral("NRSEQUCHT"),    QStringLiteral("CDOPERINCL"),
    QStringLiteral("DTINCLUSAO")};

const QStringList kChtColumns = {QStringLiteral("NRSEQUCHT"),    QStringLiteral("DSREFECHT"),
                                 QStringLiteral("DTINCLCHT"),    QStringLiteral("CDOPERINCL"),
                                 QStringLiteral("IDSTATUSCHT"),  QStringLiteral("NRPROPOSFAS"),
                                 QStringLiteral("NRVERPROPFAS"), QStringLiteral("NRSERVCONT"),
                                 QStringLiteral("CDFUNC"),       QStringLiteral("CDEMPRESA")};

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
    Insert(storage, "OCORRENCIA",
           {QStringLiteral("CDGRPOCOR"), QStringLiteral("CDOCORR"), QStringLiteral("DSOCORR")},
           {{u"01"_s, u"01"_s, u"Falta justificada"_s},
            {u"01"_s, u"02"_s, u"Atestado médico"_s},
            {u"02"_s, u"01"_s, u"Hora extra não autorizada"_s},
            {u"02"_s, u"02"_s, u"Treinamento interno"_s},
            {u"03"_s, u"01"_s, u"Ajuste de apontamento"_s},
            {u"03"_s, u"02"_s, u"Deslocamento não faturável"_s}});
    Insert(storage, "TIPOSERV", {QStringLiteral("CDTIPOSERV"), QStringLiteral("NMTIPOSERV")},
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

} // namespace

void GenerateDemo(TStorage& storage)
{
    TTransaction tx(storage, TTransaction::Mode::Write);
    BaseTables(storage);
    Insert(storage, "CLIENTE",
           {QStringLiteral("CDCLIENTE"), QStringLiteral("NMFANTCLIE"),
            QStringLiteral("NMRAZSOCCLIE"), QStringLiteral("NRINSJURCLIE"),
            QStringLiteral("IDTPIJURCLIE")},
           {{u"000101"_s, u"Metalúrgica Aurora"_s, u"Metalúrgica Aurora Ltda."_s,
             u"12345678000190"_s, u"J"_s},
            {u"000102"_s, u"Banco Horizonte"_s, u"Banco Horizonte S.A."_s, u"98765432000110"_s,
             u"J"_s},
            {u"000103"_s, u"Dr. Paulo Mendes"_s, u"Paulo Mendes"_s, u"12345678909"_s, u"F"_s},
            {u"000104"_s, u"Cooperativa Vale Verde"_s, u"Cooperativa Agrícola Vale Verde"_s,
             u"45678912000133"_s, u"J"_s}});
    Insert(storage, "FUNCIONARIO",
           {QStringLiteral("CDFUNC"), QStringLiteral("NMFUNC"), QStringLiteral("CDEMPRESA")},
           {{u"F0001"_s, u"Ana Beatriz Souza"_s, u"01"_s},
            {u"F0002"_s, u"Bruno Carvalho"_s, u"01"_s},
            {u"F0003"_s, u"Carla Dias Ferreira"_s, u"01"_s},
            {u"F0004"_s, u"Diego Almeida"_s, u"01"_s},
            {u"F0005"_s, u"Elisa Nakamura"_s, u"02"_s},
            {u"F0006"_s, u"Fábio Gonçalves"_s, u"02"_s},
            {u"F0007"_s, u"Gabriela Rocha"_s, u"02"_s}});
    // Every employee is an operator too (the employee picker lists active
    // operators); Fábio's operator is inactive.
    Insert(storage, "OPERADOR",
           {QStringLiteral("CDOPERADOR"), QStringLiteral("NMOPERADOR"), QStringLiteral("CDFUNC"),
            QStringLiteral("IDOPERATIVO")},
           {{u"ADMIN"_s, u"Administrador"_s, Null(), u"A"_s},
            {u"ANA"_s, u"Ana Beatriz Souza"_s, u"F0001"_s, u"A"_s},
            {u"BRUNO"_s, u"Bruno Carvalho"_s, u"F0002"_s, u"A"_s},
            {u"CARLA"_s, u"Carla Dias Ferreira"_s, u"F0003"_s, u"A"_s},
            {u"DIEGO"_s, u"Diego Almeida"_s, u"F0004"_s, u"A"_s},
            {u"ELISA"_s, u"Elisa Nakamura"_s, u"F0005"_s, u"A"_s},
            {u"FABIO"_s, u"Fábio Gonçalves"_s, u"F0006"_s, u"I"_s},
            {u"GABRIELA"_s, u"Gabriela Rocha"_s, u"F0007"_s, u"A"_s}});
    Insert(storage, "PROPOSTA",
           {QStringLiteral("NRPROPOSFAS"), QStringLiteral("NRVERPROPFAS"),
            QStringLiteral("CDCLIENTE"), QStringLiteral("NRPROPOSTA"),
            QStringLiteral("DSREFEPROPOSFAS"), QStringLiteral("CDFILIAL")},
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
    struct TService
    {
        const char *Proposal, *Version, *Number, *Type;
        double Quantity;
        const char *Place, *Billing;
        double Rate, BillRate;
        QStringList Employees;
    };
    const QList<TService> services = {
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
    QList<QVariantList> serviceRows;
    for (const TService& s : services)
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
           {QStringLiteral("NRPROPOSFAS"), QStringLiteral("NRVERPROPFAS"),
            QStringLiteral("NRSERVCONT"), QStringLiteral("CDTIPOSERV"),
            QStringLiteral("QTSERVCONT"), QStringLiteral("DSLOCALCONT"),
            QStringLiteral("IDTIPOCOBRCONT"), QStringLiteral("VRHORACLIE"),
            QStringLiteral("VRDEHORACLIE")},
           serviceRows);

    // January goes into CHTs, in turn pending, approved, billed and "do not
    // bill"; February stays without CHT.
    const QStringList statuses = {u"P"_s, u"A"_s, u"R"_s, u"N"_s};
    const QDate january(2025, 1, 1);
    const QDate march(2025, 3, 1);
    TRandom random(31500);
    QList<QVariantList> chts, csas;
    int chtCount = 0, csaNumber = 0;
    for (const TService& s : services) {
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
    }
    Insert(storage, "CHT", kChtColumns, chts);
    Insert(storage, "CSA", kCsaColumns, csas);
    storage.Exec(QStringLiteral("UPDATE APH_SEQUENCIA SET NRVALOR = ? WHERE NMSEQUENCIA = 'CHT'"),
                 {chtCount});
    tx.Commit();
}

void GenerateScale(TStorage& storage, qint64 csaCount)
{
    constexpr int kMonths = 9;
    constexpr int kEmployeesPerService = 5;
    constexpr int kServicesPerProposal = 3;
    constexpr int kProposalsPerClient = 8;
    constexpr int kCsasPerPair = 170;           // a little under the expected, so pairs suffice
    constexpr qint64 kLastGeneratedCht = 80000; // leaves numbers for SetCHT
    const QStringList types = {u"CON"_s, u"DES"_s, u"SUP"_s, u"TRE"_s, u"IMP"_s};
    const QStringList billing = {u"H"_s, u"F"_s, u"P"_s};

    const qint64 pairs = csaCount / kCsasPerPair + 2;
    const qint64 services = (pairs + kEmployeesPerService - 1) / kEmployeesPerService;
    const qint64 employees = std::max<qint64>(kEmployeesPerService, (pairs + 1) / 2);
    const qint64 proposals = (services + kServicesPerProposal - 1) / kServicesPerProposal;
    const qint64 clients = (proposals + kProposalsPerClient - 1) / kProposalsPerClient;
    const auto proposalOf = [](qint64 service) {
        return service / kServicesPerProposal;
    };
    const auto employeeOf = [employees](qint64 service, int k) {
        return (service * kEmployeesPerService + k) % employees;
    };

    storage.BeginBulkLoad();
    TTransaction tx(storage, TTransaction::Mode::Write);
    BaseTables(storage);
    {
        auto w = storage.BulkWriter(QStringLiteral("CLIENTE"),
                                    {QStringLiteral("CDCLIENTE"), QStringLiteral("NMFANTCLIE"),
                                     QStringLiteral("NMRAZSOCCLIE"), QStringLiteral("NRINSJURCLIE"),
                                     QStringLiteral("IDTPIJURCLIE")});
        for (qint64 c = 0; c < clients; ++c)
            w->Add({Code("C", c, 6), Code("Cliente ", c, 6), Code("Cliente Ltda. ", c, 6),
                    Code("", 10000000000000LL + c, 14), u"J"_s});
        w->Flush();
    }
    {
        auto w = storage.BulkWriter(
            QStringLiteral("FUNCIONARIO"),
            {QStringLiteral("CDFUNC"), QStringLiteral("NMFUNC"), QStringLiteral("CDEMPRESA")});
        auto o = storage.BulkWriter(QStringLiteral("OPERADOR"),
                                    {QStringLiteral("CDOPERADOR"), QStringLiteral("NMOPERADOR"),
                                     QStringLiteral("CDFUNC"), QStringLiteral("IDOPERATIVO")});
        for (qint64 e = 0; e < employees; ++e)
            w->Add({Code("F", e, 7), Code("Funcionário ", e, 7), e % 2 ? u"02"_s : u"01"_s});
        w->Flush(); // before the operators that name them
        o->Add({u"ADMIN"_s, u"Administrador"_s, Null(), u"A"_s});
        for (qint64 e = 0; e < employees; ++e)
            o->Add({Code("OP", e, 7), Code("Funcionário ", e, 7), Code("F", e, 7), u"A"_s});
        o->Flush();
    }
    {
        auto w =
            storage.BulkWriter(QStringLiteral("PROPOSTA"),
                               {QStringLiteral("NRPROPOSFAS"), QStringLiteral("NRVERPROPFAS"),
                                QStringLiteral("CDCLIENTE"), QStringLiteral("NRPROPOSTA"),
                                QStringLiteral("DSREFEPROPOSFAS"), QStringLiteral("CDFILIAL")});
        for (qint64 p = 0; p < proposals; ++p)
            w->Add({Code("P", p, 7), u"01"_s, Code("C", p / kProposalsPerClient, 6),
                    Code("PROP ", p, 7), Code("Proposta ", p, 7), u"0001"_s});
        w->Flush();
    }
    {
        auto w = storage.BulkWriter(QStringLiteral("SERVCONT"),
                                    {QStringLiteral("NRPROPOSFAS"), QStringLiteral("NRVERPROPFAS"),
                                     QStringLiteral("NRSERVCONT"), QStringLiteral("CDTIPOSERV"),
                                     QStringLiteral("QTSERVCONT"), QStringLiteral("DSLOCALCONT"),
                                     QStringLiteral("IDTIPOCOBRCONT"), QStringLiteral("VRHORACLIE"),
                                     QStringLiteral("VRDEHORACLIE")});
        for (qint64 s = 0; s < services; ++s) {
            const int k = static_cast<int>(s % kServicesPerProposal);
            w->Add({Code("P", proposalOf(s), 7), u"01"_s, Code("", k + 1, 3), types[k], 160.0,
                    u"Local do contrato"_s, billing[static_cast<int>(s % 3)], 150.0, 145.0});
        }
        w->Flush();
    }

    const QDate first(2025, 1, 1);
    const QDate end = first.addMonths(kMonths);
    const QDate chtEnd = first.addMonths(3);
    auto csa = storage.BulkWriter(QStringLiteral("CSA"), kCsaColumns);
    auto cht = storage.BulkWriter(QStringLiteral("CHT"), kChtColumns);
    TRandom random(20250101);
    qint64 written = 0, chtNumber = 0;
    for (qint64 pair = 0; pair < pairs && written < csaCount; ++pair) {
        const qint64 service = pair / kEmployeesPerService;
        const qint64 employee = employeeOf(service, static_cast<int>(pair % kEmployeesPerService));
        const QString proposal = Code("P", proposalOf(service), 7);
        const QString number = Code("", service % kServicesPerProposal + 1, 3);
        const QString func = Code("F", employee, 7);
        const QString company = employee % 2 ? u"02"_s : u"01"_s;
        QString currentCht;
        int chtMonth = 0;
        for (QDate day = first; day < end && written < csaCount; day = day.addDays(1)) {
            const TDayPlan plan = PlanDay(random, day, 4, 6);
            if (!plan.Worked)
                continue;
            if (day < chtEnd && chtMonth != day.month() && chtNumber < kLastGeneratedCht) {
                // One CHT per month of the first three: January's approved,
                // February's billed, March's pending.
                chtMonth = day.month();
                currentCht = Code("", ++chtNumber, 5);
                cht->Add({currentCht, u"CHT mensal"_s, DateToOle(day.addMonths(1)), u"ADMIN"_s,
                          QStringList{u"A"_s, u"R"_s, u"P"_s}[(chtMonth - 1) % 3], proposal,
                          u"01"_s, number, func, company});
            }
            const bool inCht = day < chtEnd && chtMonth == day.month();
            csa->Add({proposal, u"01"_s, number, func, static_cast<qint64>(DateToOle(day)), company,
                      Code("", written % 100000, 5), Null(), plan.Hours,
                      inCht ? QVariant(plan.Hours) : NullNumber(),
                      inCht ? QVariant(plan.Hours) : NullNumber(), Null(), Null(),
                      inCht ? QVariant(currentCht) : Null(), u"ADMIN"_s, DateToOle(day) + 1.75});
            ++written;
        }
    }
    cht->Flush();
    csa->Flush();
    storage.Exec(QStringLiteral("UPDATE APH_SEQUENCIA SET NRVALOR = ? WHERE NMSEQUENCIA = 'CHT'"),
                 {chtNumber});
    tx.Commit();
    storage.EndBulkLoad();
    storage.ExecDirect(QStringLiteral("ANALYZE"));
}

} // namespace aph
