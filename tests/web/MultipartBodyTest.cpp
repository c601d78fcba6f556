#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "web/ContentType.h"
#include "web/WebRequest.h"

namespace lumivanta {
namespace {

constexpr std::string_view kDelimiter = "----MULTI-PARTS-FORM-DATA-BOUNDARY\r\n";
constexpr std::string_view kClosing = "----MULTI-PARTS-FORM-DATA-BOUNDARY--\r\n";

std::string Body(const CWebRequest& request) {
  std::vector<char> body;
  const std::size_t length = request.BuildMultipartBody(body, CWebRequest::kMultipartBoundary);
  EXPECT_EQ(length, body.size());
  return std::string(body.begin(), body.end());
}

std::string FilePart(std::string_view name, std::string_view file_name, std::string_view type,
                     std::string_view content) {
  return std::string(kDelimiter) + "Content-Disposition: form-data; name=\"" + std::string(name) + "\"; filename=\"" +
         std::string(file_name) + "\"\r\nContent-Type: " + std::string(type) + "\r\n\r\n" + std::string(content) +
         "\r\n";
}

TEST(MultipartBody, OnePictureFromMemoryIsExactly166BytesPlusTypePlusContent) {
  std::string jpeg("\xFF\xD8 some \0 bytes \r\n ----MULTI-PARTS \xFF\xD9", 34);
  CWebRequest request;
  request.AddFormItem("thescreen", "image.jpg", true, jpeg.data(), static_cast<std::uint32_t>(jpeg.size()));
  const std::string body = Body(request);
  EXPECT_EQ(body, FilePart("thescreen", "image.jpg", "image/jpeg", jpeg) + std::string(kClosing));
  EXPECT_EQ(body.size(), 166 + std::string_view("image/jpeg").size() + jpeg.size());
}

TEST(MultipartBody, WithoutItemsOnlyTheClosingLine) {
  const CWebRequest request;
  EXPECT_EQ(Body(request), kClosing);
  EXPECT_EQ(kClosing.size(), 38u);
}

TEST(MultipartBody, FieldsAndFilesInTheOrderAdded) {
  test::TempDir dir;
  const std::string text_file = dir.File("notes.txt");
  test::WriteWholeFile(text_file, std::string(3000, 'n') + "\r\n\0end");
  const std::string png("PNGDATA");

  CWebRequest request;
  request.AddFormItem("user", "a b&c", false, nullptr, 0);
  request.AddFormItem("notes", text_file, true, nullptr, 0);
  request.AddFormItem("picture", "x.png", true, png.data(), 7);
  const std::string expected = std::string(kDelimiter) +
                               "Content-Disposition: form-data; name=\"user\"\r\n\r\na b&c\r\n" +
                               FilePart("notes", text_file, "text/plain", test::ReadWholeFile(text_file)) +
                               FilePart("picture", "x.png", "image/png", png) + std::string(kClosing);
  EXPECT_EQ(Body(request), expected);
  // The items stay, so the same body can be built again.
  EXPECT_EQ(Body(request), expected);
}

TEST(MultipartBody, AFileThatCannotBeReadGivesAnEmptyContent) {
  CWebRequest request;
  request.AddFormItem("thescreen", "/nonexistent/image.jpg", true, nullptr, 0);
  request.AddFormItem("device", "/dev/zero", true, nullptr, 0);
  // An empty picture in memory is read from disk by its name, which is not there either.
  request.AddFormItem("empty", "missing.jpg", true, "x", 0);
  EXPECT_EQ(Body(request), FilePart("thescreen", "/nonexistent/image.jpg", "image/jpeg", "") +
                               FilePart("device", "/dev/zero", "application/octet-stream", "") +
                               FilePart("empty", "missing.jpg", "image/jpeg", "") + std::string(kClosing));
}

TEST(MultipartBody, ItemsOfAnyOtherKindContributeNothingAndLongTextsAreCut) {
  CWebRequest request;
  request.AddFormItem(std::string(300, 'n'), std::string(2000, 'v'), false, nullptr, 0);
  ASSERT_EQ(request.FormItems().size(), 1u);
  EXPECT_EQ(request.FormItems()[0].name.size(), 255u);
  EXPECT_EQ(request.FormItems()[0].value.size(), 1023u);
  EXPECT_EQ(request.FormItems()[0].kind, ItemField);
  request.ClearFormItems();
  EXPECT_TRUE(request.FormItems().empty());
  EXPECT_EQ(Body(request), kClosing);
}

TEST(ContentType, ComesFromTheTextAfterTheLastDot) {
  const std::string table = "# comment\nimage/jpeg\t\tjpeg jpg jpe\ntext/plain txt # trailing\nimage/png png\n";
  EXPECT_EQ(ContentTypeForFile("image.jpg", table), "image/jpeg");
  EXPECT_EQ(ContentTypeForFile("archive.tar.JPG", table), "image/jpeg");
  EXPECT_EQ(ContentTypeForFile("/a.b/notes.txt", table), "text/plain");
  EXPECT_EQ(ContentTypeForFile("picture.unknownext", table), "application/octet-stream");
  // Without a "." after the first character the whole name is the key, which names no extension.
  EXPECT_EQ(ContentTypeForFile("jpg", table), "application/octet-stream");
  EXPECT_EQ(ContentTypeForFile(".png", table), "image/png");
  EXPECT_EQ(ContentTypeForFile("ends.", table), "application/octet-stream");
  EXPECT_EQ(ContentTypeForFile("", table), "application/octet-stream");
}

TEST(ContentType, FallsBackToTheBuiltInTableAndTheSystemTableKnowsJpeg) {
  EXPECT_EQ(ContentTypeForFile("image.jpg", ""), "image/jpeg");
  EXPECT_EQ(ContentTypeForFile("page.html", "garbage\n\n   \t\n"), "text/html");
  EXPECT_EQ(ContentTypeForFile("image.jpg"), "image/jpeg");
  EXPECT_EQ(ContentTypeForFile("file.no-such-type-here"), "application/octet-stream");
}

}  // namespace
}  // namespace lumivanta
