#include <QApplication>

#include "app/RecorderApp.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    RecorderApp recorder;
    return recorder.run();
}
