#include "search/profiles/profile_form.h"

#include <gtest/gtest.h>

#include <string>

#include "search/profiles/profile_extract.h"

namespace search {
namespace {

ProfileDefinition FormProfile(std::string nextForm = "//form[@id='more']") {
    ProfileDefinition definition;
    definition.name = "forms";
    definition.hits = "//li";
    definition.link = "(.//a)[1]/@href";
    definition.title = "(.//a)[1]";
    definition.nextForm = std::move(nextForm);
    return definition;
}

ProfilePage Extract(const std::string& formMarkup,
                    const std::string& nextForm = "//form[@id='more']") {
    const CompiledProfile profile(FormProfile(nextForm));
    return profile.extract("<html><body><ul><li><a href='http://a.example/'>A</a></li></ul>" +
                           formMarkup + "</body></html>");
}

// The controls a browser sends when the form is submitted without pressing
// a button, in tree order, encoded as application/x-www-form-urlencoded.
TEST(NextForm, SendsWhatABrowserSends) {
    const struct {
        const char* name;
        const char* markup;
        const char* action;
        bool post;
        const char* body;
    } cases[] = {
        {.name = "hidden fields in order, method in any case",
         .markup = "<form id=more action='/html/' method='PoSt'>"
                   "<input type=submit value=Next><input type=hidden name=q value='a b'>"
                   "<input type=hidden name=s value=30><input type=hidden name=v value=''>"
                   "<input name=kl value=wt-wt type=hidden></form>",
         .action = "/html/",
         .post = true,
         .body = "q=a+b&s=30&v=&kl=wt-wt"},
        {.name = "buttons, images, resets and files are not sent",
         .markup = "<form id=more><input type=button name=b value=1><input type=image name=i>"
                   "<input type=reset name=r value=1><input type=file name=f>"
                   "<input type=SUBMIT name=s value=1><button name=x value=1>X</button>"
                   "<input name=kept value=1></form>",
         .action = "",
         .post = false,
         .body = "kept=1"},
        {.name = "unchecked boxes stay home, checked ones say on without a value",
         .markup = "<form id=more><input type=checkbox name=c1 value=yes>"
                   "<input type=checkbox name=c2 checked><input type=radio name=r value=a>"
                   "<input type=radio name=r value=b checked></form>",
         .action = "",
         .post = false,
         .body = "c2=on&r=b"},
        {.name = "disabled controls and fieldsets, nameless controls",
         .markup = "<form id=more><input name=a value=1 disabled><input value=nameless>"
                   "<input name='' value=empty><fieldset disabled><legend>"
                   "<input name=inlegend value=1></legend><input name=b value=2></fieldset>"
                   "<input name=c></form>",
         .action = "",
         .post = false,
         .body = "inlegend=1&c="},
        {.name = "selects: the chosen option, else the first one that can be chosen",
         .markup = "<form id=more><select name=s1><option>one</option>"
                   "<option selected value=2>two</option></select>"
                   "<select name=s2><option disabled>x</option><option>  first\n kept </option>"
                   "</select><select name=s3 multiple><option selected>a</option>"
                   "<option>b</option><option selected value=c>C</option></select>"
                   "<select name=s4 multiple><option>none</option></select>"
                   "<select name=s5 disabled><option>no</option></select></form>",
         .action = "",
         .post = false,
         .body = "s1=2&s2=first+kept&s3=a&s3=c"},
        {.name = "a textarea's text with CR LF line breaks",
         .markup = "<form id=more><textarea name=t>\nline one\nline two</textarea></form>",
         .action = "",
         .post = false,
         .body = "t=line+one%0D%0Aline+two"},
        {.name = "bytes the form encoding escapes, UTF-8",
         .markup = "<form id=more action=' ?x=1 '>"
                   "<input name='a&amp;b' value='caf&eacute; ~*-._=+%'>"
                   "<input type=hidden name=_charset_ value=latin1></form>",
         .action = "?x=1",
         .post = false,
         .body = "a%26b=caf%C3%A9+%7E*-._%3D%2B%25&_charset_=UTF-8"},
        {.name = "an unknown method is GET",
         .markup = "<form id=more method=dialog><input name=a value=1></form>",
         .action = "",
         .post = false,
         .body = "a=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProfilePage page = Extract(c.markup);
        ASSERT_TRUE(page.nextForm.has_value());
        EXPECT_TRUE(page.hasNext);
        EXPECT_EQ(page.nextForm->action, c.action);
        EXPECT_EQ(page.nextForm->post, c.post);
        EXPECT_EQ(page.nextForm->body, c.body);
        EXPECT_EQ(page.nextForm->fault, "");
        ASSERT_EQ(page.hits.size(), 1u);
    }
}

// The expression may select the form or any element in it; what holds no
// form, or nothing at all, is no next page.
TEST(NextForm, IsTheFormOfWhatTheExpressionSelects) {
    const std::string markup =
        "<div><form id=more action=/next method=post><div><input type=submit id=go>"
        "<input type=hidden name=s value=30></div></form></div>";
    const ProfilePage byButton = Extract(markup, "//input[@id='go']");
    ASSERT_TRUE(byButton.nextForm.has_value());
    EXPECT_EQ(byButton.nextForm->action, "/next");
    EXPECT_EQ(byButton.nextForm->body, "s=30");

    for (const char* expression : {"//div[not(ancestor::form)][1]", "//form[@id='none']"}) {
        SCOPED_TRACE(expression);
        const ProfilePage none = Extract(markup, expression);
        EXPECT_FALSE(none.nextForm.has_value());
        EXPECT_FALSE(none.hasNext);
    }
}

// A form past its bounds is read but not sent, and says why.
TEST(NextForm, AFormOverItsBoundsIsNotSent) {
    std::string many = "<form id=more>";
    for (std::size_t i = 0; i <= kMaxFormControls; ++i) {
        many += "<input name=f" + std::to_string(i) + ">";
    }
    std::string atBound = "<form id=more>";
    for (std::size_t i = 0; i < kMaxFormControls; ++i) {
        atBound += "<input name=f>";
    }
    const std::string longValue =
        "<form id=more><input name=v value='" + std::string(kMaxFormBodyBytes, 'x') + "'></form>";
    const std::string justFits = "<form id=more><input name=v value='" +
                                 std::string(kMaxFormBodyBytes - 2, 'x') + "'></form>";

    const ProfilePage tooMany = Extract(many + "</form>");
    ASSERT_TRUE(tooMany.nextForm.has_value());
    EXPECT_FALSE(tooMany.hasNext);
    EXPECT_EQ(tooMany.nextForm->body, "");
    EXPECT_NE(tooMany.nextForm->fault.find("more than 200 fields"), std::string::npos);

    const ProfilePage tooLong = Extract(longValue);
    ASSERT_TRUE(tooLong.nextForm.has_value());
    EXPECT_FALSE(tooLong.hasNext);
    EXPECT_NE(tooLong.nextForm->fault.find("16 KiB"), std::string::npos);

    for (const std::string& fits : {atBound + "</form>", justFits}) {
        const ProfilePage page = Extract(fits);
        ASSERT_TRUE(page.nextForm.has_value());
        EXPECT_TRUE(page.hasNext);
        EXPECT_EQ(page.nextForm->fault, "");
    }
}

}  // namespace
}  // namespace search
