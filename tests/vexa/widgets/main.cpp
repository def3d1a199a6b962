#include <QApplication>

int runSplitterTests(int argc, char** argv);
int runColorComboTests(int argc, char** argv);

// One executable for the generic widgets; each class family has its own test object.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int failed = 0;
    failed += runSplitterTests(argc, argv);
    failed += runColorComboTests(argc, argv);
    return failed;
}
