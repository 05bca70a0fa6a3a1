// The Qt floor of start and memory: an empty window of the panel's size in a
// program that links Qt Widgets and nothing else, started and measured as
// the panel is.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("tavo-bench Qt floor"));
    window.resize(633, 328);
    window.show();
    return QApplication::exec();
}
