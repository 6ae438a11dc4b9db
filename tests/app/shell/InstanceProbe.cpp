// SPDX-License-Identifier: GPL-3.0-or-later
// instance_probe [activations]: holds the single-instance lock until it has been asked to show
// itself `activations` times (0: until killed), or reports that another instance runs.

#include "app/shell/SingleInstance.h"

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int wanted = argc > 1 ? std::atoi(argv[1]) : 0;
    quaymark::SingleInstance guard;
    if (!guard.acquireSingleInstance()) {
        std::cout << "refused" << std::endl;
        return 0;
    }
    int seen = 0;
    QObject::connect(&guard, &quaymark::SingleInstance::activationRequested, &application, [&] {
        std::cout << "activated" << std::endl;
        if (++seen == wanted) {
            QCoreApplication::quit();
        }
    });
    // A test that lost track of this process must not leave it running.
    QTimer::singleShot(std::chrono::minutes(2), &application, [] {
        std::cout << "timeout" << std::endl;
        QCoreApplication::exit(2);
    });
    std::cout << "acquired" << std::endl;
    return QCoreApplication::exec();
}
