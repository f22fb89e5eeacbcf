#pragma once

// A fixture for tests of the main window: a temporary folder that holds Settings.dat and
// korvit.ini, the Application's output lines collected in lines_, and the window, made on first
// use. A fixture that answers the window's questions sets that up in ConfigureWindow().

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "shell/application.h"
#include "shell/demo.h"
#include "shell/main_window.h"

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvit-gui-XXXXXX";
        dir_ = std::string(mkdtemp(pattern)) + "/";
        app_.settings_path = dir_ + "Settings.dat";
        app_.log.AddSink(&lines_);
    }
    void TearDown() override {
        window_.reset();
        app_.log.RemoveSink(&lines_);
        std::filesystem::remove_all(dir_);
    }
    virtual void ConfigureWindow(korvit::shell::MainWindow&) {}

    korvit::shell::MainWindow& Window() {
        if (!window_) {
            window_ = std::make_unique<korvit::shell::MainWindow>(app_);
            ConfigureWindow(*window_);
        }
        return *window_;
    }
    QAction* Find(const QString& text) {
        for (QAction* a : Window().findChildren<QAction*>()) {
            if (a->text() == text) return a;
        }
        return nullptr;
    }
    /// Starts the demo on korvit-ecusim serving samples/demo.adx.
    static bool StartDemo(korvit::shell::Demo& demo) {
        return demo.Start(KORVIT_ECUSIM_PATH, KORVIT_SOURCE_DIR "/samples/demo.adx");
    }
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string dir_;
    korvit::shell::Application app_;
    korvit::app::TextBufferSink lines_;
    std::unique_ptr<korvit::shell::MainWindow> window_;
};
