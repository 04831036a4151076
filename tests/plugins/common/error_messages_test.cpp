// Plug-in error messages, input-details text and return-object JSON.

#include "zorel/plugins/common/error_messages.h"

#include <gtest/gtest.h>

#include "zorel/plugins/common/input_details.h"
#include "zorel/plugins/common/plugin_returns.h"

namespace zorel {
namespace {

TEST(ErrorMessages, TableCodesHaveTheirTextsAsWritten) {
  EXPECT_EQ(GetErrorMessage(0), L"The operation completed successfully.");
  EXPECT_EQ(GetErrorMessage(20008), L"Error while gettign the file attributes");
  EXPECT_EQ(GetErrorMessage(20016), L"API failed");
  EXPECT_EQ(GetErrorMessage(20034), L"OS Drive free space is less than expected");
  EXPECT_EQ(GetErrorMessage(30059), L"Failed to create registry import folder user %appdata%/zorel");
  EXPECT_EQ(GetErrorMessage(30062), L"Script execution failed or script returned false status");
}

TEST(ErrorMessages, OtherCodesUseTheSystemText) {
  EXPECT_EQ(GetErrorMessage(87), L"The parameter is incorrect.\r\n");
  EXPECT_EQ(GetErrorMessage(2), L"The system cannot find the file specified.\r\n");
  EXPECT_EQ(GetErrorMessage(20035), L"");  // between the table's ranges: no message
  EXPECT_EQ(GetErrorMessage(30011), L"");
  EXPECT_FALSE(IsPluginErrorCode(87));
  EXPECT_TRUE(IsPluginErrorCode(30010));
  EXPECT_FALSE(IsPluginErrorCode(-1));
}

TEST(InputDetails, PairsInOrderWithoutEscaping) {
  EXPECT_EQ(InputDetails().Text(), L"{}");
  EXPECT_EQ(InputDetails().Add(L"versionnumber", L"6.1").Text(), L"{\"versionnumber\":\"6.1\"}");
  EXPECT_EQ(InputDetails().Add(L"b", L"C:\\x").Add(L"a", L"q\"").Text(),
            L"{\"b\":\"C:\\x\",\"a\":\"q\"\"}");
}

TEST(ReturnObjects, DefaultsAndKeysInStyledJson) {
  EXPECT_EQ(CJSONReturn().ToString(),
            "{\n   \"errorcode\" : 0,\n   \"return\" : false,\n   \"status\" : false\n}\n");
  CJSONOSReturnVal value;
  value.SetValue(L"caf\u00e9");
  Json::Value v = value.ToValue();
  EXPECT_EQ(v["value"].asString(), "caf\xc3\xa9");
  CJSONReturnFileInfo file;
  Json::Value f = file.ToValue();
  for (const char* key : {"filetype", "size", "disksize", "createdtime", "modifiedtime",
                          "isreadonly", "ishidden", "status", "return", "errorcode"})
    EXPECT_TRUE(f.isMember(key)) << key;
  CJSONOSInfo os;
  os.SetSystemDirectory(L"C:\\Windows\\system32");
  EXPECT_EQ(os.ToValue()["systemdirectory"].asString(), "C:\\Windows\\system32");
  EXPECT_EQ(os.ToValue().size(), 13u);
  EXPECT_FALSE(CJSONProductsInfo().ToValue().isMember("products"));  // empty list: no key
}

}  // namespace
}  // namespace zorel
