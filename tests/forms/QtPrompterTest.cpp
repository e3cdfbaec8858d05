#include "QtPrompter.h"
#include "GuiTestSupport.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

using namespace vvp;
using namespace std::chrono_literals;

namespace {

struct PrompterFixture : ::testing::Test, test::WithGuiApp {
    ~PrompterFixture() override {
        for (QDialog* d : test::OpenDialogs())
            d->done(QDialog::Rejected);
    }
    QtPrompter prompter;
    test::DialogRobot robot;

    // Raises the question on a job thread; the future has the answer or the exception.
    template <typename F> static auto FromJob(F question) { return std::async(std::launch::async, question); }
    template <typename T> static bool Settled(std::future<T>& f) {
        return test::WaitUntil([&f] { return f.wait_for(0ms) == std::future_status::ready; }, 10s);
    }
};

} // namespace

TEST_F(PrompterFixture, AJobsQuestionIsAskedOnTheGuiThreadAndTheAnswerReachesTheJob) {
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool onTop = false, defaultYes = false, onGuiThread = false;
    robot.Then([&](QDialog* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (!box) return;
        onGuiThread = box->thread() == QApplication::instance()->thread();
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        onTop = box->windowFlags() & Qt::WindowStaysOnTopHint;
        defaultYes =
            box->defaultButton() == box->button(QMessageBox::Yes) && box->textFormat() == Qt::PlainText;
        box->button(QMessageBox::No)->click();
    });
    auto answer = FromJob([this] {
        return prompter.Message(
            {"Addressing Problem",
             "I was unable to find a server able to accept messages for x@y\r\n\r\nDo you want "
             "to save the Electronic Message instead?",
             Buttons::YesNo, Icon::Error});
    });
    ASSERT_TRUE(Settled(answer));
    EXPECT_EQ(answer.get(), Answer::No);
    EXPECT_TRUE(onGuiThread);
    EXPECT_EQ(title, "Addressing Problem");
    EXPECT_EQ(text,
              "I was unable to find a server able to accept messages for x@y\n\nDo you want to save the "
              "Electronic Message instead?");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_TRUE(onTop);
    EXPECT_TRUE(defaultYes);
}

TEST_F(PrompterFixture, EscapeAndTheCloseBoxAnswerOnlyWhereCancelOrOkIsOffered) {
    struct Case {
        Buttons buttons;
        Answer expected; // what Escape gives, or the default (first) button when Escape gives nothing
        bool escapeAnswers;
    } cases[] = {{Buttons::YesNo, Answer::Yes, false},
                 {Buttons::AbortRetryIgnore, Answer::Abort, false},
                 {Buttons::YesNoCancel, Answer::Cancel, true},
                 {Buttons::Ok, Answer::Ok, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.buttons));
        bool stayedOpen = false;
        robot.Then([&stayedOpen](QDialog* dialog) {
            QTest::keyClick(dialog, Qt::Key_Escape);
            dialog->close();
            QApplication::processEvents();
            stayedOpen = dialog->isVisible();
            if (stayedOpen) qobject_cast<QMessageBox*>(dialog)->defaultButton()->click();
        });
        auto answer = FromJob([&] {
            return prompter.Message({"Digital Signing", "text", c.buttons, Icon::Error});
        });
        ASSERT_TRUE(Settled(answer));
        EXPECT_EQ(answer.get(), c.expected);
        EXPECT_EQ(stayedOpen, !c.escapeAnswers);
    }
}

TEST_F(PrompterFixture, TwoJobsGetOneDialogAtATime) {
    std::vector<std::string> asked;
    int mostOpen = 0;
    for (int round = 0; round < 2; ++round)
        robot.Then([&](QDialog* dialog) {
            // Give a second dialog every chance to come up beside this one.
            test::WaitUntil([] { return false; }, 150ms);
            mostOpen = std::max(mostOpen, static_cast<int>(test::OpenDialogs().size()));
            auto* input = qobject_cast<QInputDialog*>(dialog);
            asked.push_back(input->labelText().toStdString());
            input->setTextValue(input->labelText() + "-answer");
            input->accept();
        });
    auto first = FromJob([this] { return prompter.Input("Vocanet VP Server computer", "first", "a"); });
    auto second = FromJob([this] { return prompter.Input("Vocanet VP Server computer", "second", "b"); });
    ASSERT_TRUE(Settled(first));
    ASSERT_TRUE(Settled(second));
    EXPECT_EQ(first.get(), "first-answer");
    EXPECT_EQ(second.get(), "second-answer");
    EXPECT_EQ(mostOpen, 1);
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, (std::vector<std::string>{"first", "second"}));
}

TEST_F(PrompterFixture, AbandoningEndsTheOpenAndTheWaitingPromptsAndEveryLaterOne) {
    robot.Then([this](QDialog*) { prompter.Abandon(); });
    auto open = FromJob([this] { return prompter.BrowseFolder("Select a Output path for your Message"); });
    auto waiting = FromJob([this] { return prompter.ChoosePrinter("SMITH for Example"); });
    ASSERT_TRUE(Settled(open)) << "a job thread hangs";
    ASSERT_TRUE(Settled(waiting)) << "a job thread hangs";
    EXPECT_THROW(open.get(), PromptAbandoned);
    EXPECT_THROW(waiting.get(), PromptAbandoned);
    EXPECT_TRUE(test::WaitUntil([] { return test::OpenDialogs().isEmpty(); }));
    auto later = FromJob([this] { return prompter.Message({"c", "t", Buttons::Ok, Icon::None}); });
    ASSERT_TRUE(Settled(later));
    EXPECT_THROW(later.get(), PromptAbandoned);
}

TEST_F(PrompterFixture, OnTheGuiThreadTheDialogShowsDirectly) {
    QString title;
    robot.Then([&title](QDialog* dialog) {
        title = dialog->windowTitle();
        dialog->reject();
    });
    EXPECT_EQ(prompter.BrowseFolder("Select a path to monitor for Files to sign"), "");
    EXPECT_EQ(title, "Select a path to monitor for Files to sign");
    robot.Then([](QDialog* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        input->setTextValue("vvpserver:9200");
        input->accept();
    });
    EXPECT_EQ(prompter.Input("Vocanet VP Server computer", "prompt", "VVPCOMPUTER:9105"), "vvpserver:9200");
}
