#include "platform/xml.h"
#include "upload/host_protocols.h"

namespace tagsmith {

namespace {

const char kCorrupted[] = "FastPic XML data file is corrupted!";

}  // namespace

UploadLinks ReadFastPicReply(std::string_view reply) {
  const XmlDocument doc = XmlDocument::LoadMemory(reply, "FastPic reply", "UTF-8");
  const XmlNode root = doc.Root();
  if (root.Name() != "UploadSettings") throw EUploadThread(kCorrupted);
  const XmlNode status = root.Child("status", /*ignoreCase=*/true);
  if (!status || status.Text() != "ok") throw EUploadThread(kCorrupted);
  const XmlNode image = root.Child("imagepath", true);
  const XmlNode thumb = root.Child("thumbpath", true);
  const XmlNode page = root.Child("viewurl", true);
  if (!image || !thumb || !page) throw EUploadThread(kCorrupted);
  return UploadLinks{image.Text(), thumb.Text(), page.Text()};
}

UploadLinks FastPicAttempt(const std::string& fileName, const UploadHosts& hosts,
                           const UploadTimeouts& timeouts, const std::atomic<bool>* cancel) {
  HttpMultipartForm form;
  form.AddField("method", "file");
  form.AddField("uploading", "1");
  form.AddField("thumb_size", "200");
  form.AddField("check_thumb", "no");
  form.AddFile("file1", fileName);

  const std::string& host = hosts.fastPicHost;
  HttpClient client(UploadHttpOptions(host, "</UploadSettings>", hosts, timeouts, cancel));
  std::string reply;
  try {
    reply = client.Post("http://" + host + "/upload?api=1", form);
  } catch (const EHttpError&) {
    throw EUploadThread("Post request was failed!");
  }
  return ReadFastPicReply(reply);
}

}  // namespace tagsmith
