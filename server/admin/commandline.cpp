#include "server/admin/commandline.h"

#include "server/common/hiddentext.h"
#include "server/storage/schema.h"
#include "server/storage/storage.h"

using namespace Qt::StringLiterals;

namespace aph {

void Print(FILE* out, const QString& text)
{
    // A name, a file's line or a message quoting them reaches the terminal
    // as what it holds, never as a terminal command or a cut line.
    std::fprintf(out, "%s\n", EscapeHidden(text, true).toUtf8().constData());
    std::fflush(out);
}

std::unique_ptr<TStorage> OpenCurrent(const QString& spec)
{
    auto storage = TStorage::Open(TDatabaseSpec::Parse(spec));
    RequireCurrentSchema(*storage);
    return storage;
}

TArgs::TArgs(const QStringList& args, const QStringList& valued, const QStringList& flags)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (valued.contains(a)) {
            if (i + 1 >= args.size())
                throw EUsage(u"A opção %1 precisa de um valor."_s.arg(a));
            Options.insert(a, args[++i]);
        } else if (flags.contains(a)) {
            Flags << a;
        } else if (a.startsWith(u"--")) {
            throw EUsage(u"Opção desconhecida: %1"_s.arg(a));
        } else {
            Positional << a;
        }
    }
}

qint64 TArgs::Number(const QString& name, qint64 fallback, qint64 min, qint64 max) const
{
    if (!Options.contains(name))
        return fallback;
    bool ok = false;
    const qint64 n = Options.value(name).toLongLong(&ok);
    // A value read from the configuration file is not repeated: the
    // message names its line.
    if (!ok || n < min || n > max)
        throw EUsage(From(name) + (From(name).isEmpty()
                                       ? u"Valor inválido para %1: %2 (de %3 a %4)."_s.arg(
                                             name, Options.value(name))
                                       : u"Valor inválido para %1 (de %3 a %4)."_s.arg(name))
                                      .arg(min)
                                      .arg(max));
    return n;
}

QString TArgs::From(const QString& name) const
{
    const QString where = Origins.value(name);
    return where.isEmpty() ? QString() : where + u": "_s;
}

} // namespace aph
