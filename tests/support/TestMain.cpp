#include <QCoreApplication>

#include <gtest/gtest.h>

// Every suite gets a QCoreApplication so Qt objects behave as they do in the app.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
