#include "platform/xml.h"
#include "upload/host_protocols.h"

namespace tagsmith {

namespace {

const char kCorrupted[] = "ImageShack XML data file is corrupted!";

}  // namespace

UploadLinks ReadImageShackReply(std::string_view reply) {
  const XmlDocument doc = XmlDocument::LoadMemory(reply, "ImageShack reply", "ISO-8859-1");
  const XmlNode root = doc.Root();
  if (root.Name() != "imginfo") throw EUploadThread(kCorrupted);
  const XmlNode links = root.Child("links", /*ignoreCase=*/true);
  if (!links) throw EUploadThread(kCorrupted);
  const XmlNode image = links.Child("image_link", true);
  if (!image) throw EUploadThread(kCorrupted);

  UploadLinks out;
  out.ImageURL = image.Text();
  XmlNode thumb = links.Child("yfrog_thumb", true);
  XmlNode page = links.Child("yfrog_link", true);
  if (!thumb || !page) {
    thumb = links.Child("thumb_link", true);
    page = links.Child("ad_link", true);
    if (!thumb || !page) throw EUploadThread(kCorrupted);
  }
  out.ImagePreviewURL = thumb.Text();
  out.LinkToPage = page.Text();
  return out;
}

UploadLinks ImageShackAttempt(const std::string& fileName, const UploadHosts& hosts,
                              const UploadTimeouts& timeouts, const std::atomic<bool>* cancel) {
  HttpMultipartForm form;
  form.AddField("public", "yes");
  form.AddField("rembar", "1");
  form.AddFile("fileupload", fileName);

  const std::string host = ImageShackHostName(hosts.imageShackPattern, DrawImageShackServer());
  HttpClient client(UploadHttpOptions(host, "</imginfo>", hosts, timeouts, cancel));
  std::string reply;
  try {
    reply = client.Post("http://" + host + "/upload_api.php", form);
  } catch (const EHttpError&) {
    throw EUploadThread("Post request was failed!");
  }
  return ReadImageShackReply(reply);
}

}  // namespace tagsmith
