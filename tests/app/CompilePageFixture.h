// A window with its own settings file and music folder, opened on the Compile
// page, with scripted dialogs: what the Compile page suites start from.
#pragma once

#include "AppTestSupport.h"
#include "app/Main.h"

#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>
#include <string>

class TCompilePageFixture : public ::testing::Test {
protected:
    TempDir dir;
    TScriptedDialogs dialogs;
    TScopedDialogs scoped{dialogs};
    std::string settingsFile = dir.str() + "/2.ini";
    std::string music = dir.str() + "/music";

    // The settings must pass the Summary's checks, or the window stays there.
    std::unique_ptr<TMainForm> OpenAtCompilePage() {
        auto form = std::make_unique<TMainForm>(QString::fromStdString(settingsFile));
        form->show();
        for (int i = 0; i <= CompilePage; ++i)
            form->NextButton()->click();
        EXPECT_EQ(form->PageIndex(), CompilePage);
        return form;
    }
};
