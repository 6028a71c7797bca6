// bench-floor: the yardstick the panel is measured against. One main window with a
// menu bar and nothing else, so that what the panel costs beyond it is its own.

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Floor"));
    QMenu *file = window.menuBar()->addMenu(QStringLiteral("&File"));
    QObject::connect(file->addAction(QStringLiteral("E&xit")), &QAction::triggered, &window,
                     &QMainWindow::close);
    window.resize(330, 210);
    window.show();
    return app.exec();
}
