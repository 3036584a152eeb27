// The component's rows as the pages re-emit them: each shape the listings produce, and values a
// hostile directory entry or request could put inside them.
#include "host/rows.h"

#include <gtest/gtest.h>

namespace brindlecore::host {
namespace {

struct Case {
  const char* what;
  std::string rows;
  std::string safe;
};

TEST(SafeRowsTest, KeepsEveryShapeOfTheRowsWithTheirValuesEscaped) {
  const Case cases[] = {
      {"group row",
       "<TR><TD class=TableRow width=90><a href=\"./editGroup.asp?GroupName=QZW3SVC1&"
       "GroupDescription=Sales & more\" title=\"Click here to edit/delete group\" "
       "class=graybghl>QZW3SVC1</a></TD><TD class=TableRow width=150>Sales & more</TD>"
       "<td class=TableRow><input class=UserInput name=QZW3SVC1 id=QZW3SVC1 title=\"Type user "
       "name to add here\"></input><a title=\"Click to add user to group\" "
       "href=JavaScript:userAdd(QZW3SVC1); class=ActionItem><img border=0 "
       "src=./images/adduser.gif></img></a><a title=\"Click to display a list of users\" "
       "href=javascript:listUsers(QZW3SVC1); return false ;\"><img border=0 "
       "src=./images/listusers.gif></img></a></TD>",
       "<tr><td class=\"TableRow\" width=\"90\"><a href=\"./editGroup.asp?GroupName=QZW3SVC1&amp;"
       "GroupDescription=Sales &amp; more\" title=\"Click here to edit/delete group\" "
       "class=\"graybghl\">QZW3SVC1</a></td><td class=\"TableRow\" width=\"150\">Sales &amp; "
       "more</td><td class=\"TableRow\"><input class=\"UserInput\" name=\"QZW3SVC1\" "
       "id=\"QZW3SVC1\" title=\"Type user name to add here\"><a title=\"Click to add user to "
       "group\" href=\"#\" data-call=\"userAdd\" data-arg=\"QZW3SVC1\" class=\"ActionItem\"><img "
       "border=\"0\" src=\"./images/adduser.gif\"></a><a title=\"Click to display a list of "
       "users\" href=\"#\" data-call=\"listUsers\" data-arg=\"QZW3SVC1\"><img border=\"0\" "
       "src=\"./images/listusers.gif\"></a></td>"},
      {"member with remove link and a select of the other groups",
       "<TD class=TableRow>QZW3SVC1<a href=./UserDelete.asp?GroupName=QZW3SVC1&UserName=carol&"
       "RedirPage=ProfileAdministrators.asp class=ActionItem>&nbsp;<img "
       "src=./images/removeuser.gif title=Remove user from group border=0></img></a></TD></TR>"
       "<td class=TableRow><select class=ItemSelect name=carol id=carol><option value=QZW3SVC2>"
       "QZW3SVC2&nbsp;&nbsp;</option></select>",
       "<td class=\"TableRow\">QZW3SVC1<a href=\"./UserDelete.asp?GroupName=QZW3SVC1&amp;"
       "UserName=carol&amp;RedirPage=ProfileAdministrators.asp\" class=\"ActionItem\">\u00a0<img "
       "src=\"./images/removeuser.gif\" title=\"Remove\" border=\"0\"></a></td></tr><td "
       "class=\"TableRow\"><select class=\"ItemSelect\" name=\"carol\" id=\"carol\"><option "
       "value=\"QZW3SVC2\">QZW3SVC2\u00a0\u00a0</option></select>"},
      {"picker rows of both providers",
       "<a href=\"JavaScript:updateField('bob','QZW3SVC3');\">bob</a>"
       "<a href=\"JavaScript:updateField('CORP\\\\bob','QZW3SVC3');\">CORP\\bob</a>",
       "<a href=\"#\" data-call=\"updateField\" data-arg=\"bob\" data-arg2=\"QZW3SVC3\">bob</a>"
       "<a href=\"#\" data-call=\"updateField\" data-arg=\"CORP\\bob\" data-arg2=\"QZW3SVC3\">"
       "CORP\\bob</a>"},
      {"import report",
       "<table><tr><td class=UserInfo2>Success: User bob added</td></tr></table>An error "
       "occurred: x",
       "<table><tr><td class=\"UserInfo2\">Success: User bob added</td></tr></table>An error "
       "occurred: x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SafeRows(c.rows), c.safe) << c.what;
  }
}

TEST(SafeRowsTest, ShowsWhatIsNoShapeOfTheRowsAsText) {
  const Case cases[] = {
      {"script in a description", "<TD class=TableRow><script>alert(1)</script></TD>",
       "<td class=\"TableRow\">&lt;script&gt;alert(1)&lt;/script&gt;</td>"},
      {"handler on a known element", "<img src=./images/adduser.gif onerror=alert(1)>",
       "&lt;img src=./images/adduser.gif onerror=alert(1)&gt;"},
      {"foreign image", "<img src=x>", "&lt;img src=x&gt;"},
      {"script link", "<a href=javascript:alert(1)>x</a>",
       "&lt;a href=javascript:alert(1)&gt;x</a>"},
      {"call with extra code", "<a href=\"JavaScript:updateField('a','b');alert(1)\">a</a>",
       "&lt;a href=&quot;JavaScript:updateField(&#39;a&#39;,&#39;b&#39;);alert(1)&quot;&gt;a</a>"},
      {"link elsewhere", "<a href=\"//evil.example/\">x</a>",
       "&lt;a href=&quot;//evil.example/&quot;&gt;x</a>"},
      // A reflected group that closes the call's quotes stays inside the data attribute.
      {"reflected group breaking out of the call",
       "<a href=\"JavaScript:updateField('bob','x');alert(1);//');\">bob</a>",
       "<a href=\"#\" data-call=\"updateField\" data-arg=\"bob\" "
       "data-arg2=\"x&#39;);alert(1);//\">bob</a>"},
      {"quote ending the href early", "<a href=\"./editGroup.asp?GroupName=a\" onclick=\"x\">",
       "&lt;a href=&quot;./editGroup.asp?GroupName=a&quot; onclick=&quot;x&quot;&gt;"},
      {"entities are read, then written again", "<TD>&lt;b&gt; &#x3c;i&#62; &bogus; &#0;</TD>",
       "<td>&lt;b&gt; &lt;i&gt; &amp;bogus; &amp;#0;</td>"},
      {"unfinished tag", "<TD class=\"x", "&lt;TD class=&quot;x"},
      {"comment", "<!--<script>-->", "&lt;!--&lt;script&gt;--&gt;"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SafeRows(c.rows), c.safe) << c.what;
  }
}

}  // namespace
}  // namespace brindlecore::host
