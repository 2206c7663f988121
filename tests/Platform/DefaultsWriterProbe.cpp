// Writes the defaults in a tight loop until it is killed, printing after each completed write
// the counter that write stored. Each run continues from the counter it finds in the file.

#include "Platform/DefaultsStore.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    orlet::DefaultsStore store(QString::fromLocal8Bit(argv[1]));
    // Large enough that a kill often lands inside a write rather than between two.
    QStringList payload;
    for (int i = 0; i < 2000; ++i) {
        payload.append(
            QStringLiteral("entry %1 of a list that makes each write take a while").arg(i));
    }
    double counter = store.number(QStringLiteral("counter")).value_or(0.0);
    for (;;) {
        counter += 1;
        payload[0] = QString::number(counter);
        store.set(QStringLiteral("payload"), payload);
        store.set(QStringLiteral("counter"), counter);
        // Ends the probe once the test stops listening.
        if (std::printf("%.0f\n", counter) < 0 || std::fflush(stdout) != 0) {
            return 1;
        }
    }
}
