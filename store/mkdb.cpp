// sarvelon-mkdb <folder>: writes the delivered tables into folder (the build runs it for
// build/bin/KorvathDB). An existing Config.DB is left alone.
#include "store/Table.h"

#include <QString>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: sarvelon-mkdb <database folder>\n");
        return 2;
    }
    try {
        store::writeDeliveredTables(QString::fromLocal8Bit(argv[1]));
    } catch (const store::TableError &e) {
        std::fprintf(stderr, "sarvelon-mkdb: %s\n", e.what());
        return 1;
    }
    return 0;
}
